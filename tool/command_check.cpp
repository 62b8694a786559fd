// check CONFIG: whether the editor accepts a config.dat, where it breaks, and
// whether a backup of it in JSON gives it back byte for byte.
#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>

#include "model/text_conversion.h"
#include "persist/config_read_fault.h"
#include "tool/commands.h"
#include "tool/preset_json.h"
#include "tool/text_table.h"

namespace {

// What export and import do to the presets read: the values the import
// brings into range as a Save does, or why the export or the import
// refuses them. False when the presets do not come back at all.
bool roundTripNotes(const StreamSettingsSet& presets, const CodePage& codePage, std::vector<std::string>& notes)
{
    std::string json;
    std::string problem;
    if (!presetsToJson(presets, codePage, json, problem)) {
        notes.push_back(problem);
        return false;
    }
    StreamSettingsSet imported(1);
    ImportReport report;
    const bool accepted = presetsFromJson(json, codePage, ImportOptions(), imported, report);
    notes.insert(notes.end(), report.changes.begin(), report.changes.end());
    notes.insert(notes.end(), report.refusals.begin(), report.refusals.end());
    return accepted;
}

int checkConfig(const std::string& config, ToolContext& context)
{
    StreamSettingsSet presets(1);
    ConfigReadFault reading;
    if (!loadConfig(config, presets, context.io, &reading))
        return kInputRefused;
    std::ostream& out = context.io.out;
    const std::string name = inputName(config);
    out << name << ": accepted, " << counted(presets.count(), "preset") << '\n';
    std::vector<std::string> notes = reading.readOtherwise;
    const bool comesBack = roundTripNotes(presets, *context.codePage, notes);
    for (const std::string& note : notes)
        out << name << ": " << consoleText(note) << '\n';
    if (!comesBack)
        out << name << ": does not come back from export | import\n";
    else if (!notes.empty())
        out << name << ": comes back from export | import as a Save writes it, not byte for byte\n";
    return kDone;
}

}  // namespace

Command addCheckCommand(CLI::App& program, ToolContext& context)
{
    auto config = std::make_shared<std::string>();
    CLI::App* command = program.add_subcommand(
        "check", "Read a config.dat with the editor's reader: the preset count, or the byte where it breaks, and "
                 "each stored value that an import or a Save would change");
    command->add_option("CONFIG", *config, "the config.dat to read; - for standard input")->required();
    return {command, [config, &context] { return checkConfig(*config, context); }};
}
