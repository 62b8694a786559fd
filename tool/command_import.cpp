// import IN.json -o CONFIG [--merge] [--strict] [--dry-run]: JSON into
// config.dat, saved the way the editor saves.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <memory>
#include <ostream>

#include "model/text_conversion.h"
#include "persist/config_file.h"
#include "persist/damaged_copy.h"
#include "tool/code_page.h"
#include "tool/commands.h"
#include "tool/preset_json.h"
#include "tool/text_table.h"

namespace {

struct ImportArguments {
    std::string input;
    std::string config;
    bool merge = false;
    bool strict = false;
    bool dryRun = false;
};

// The bytes of one preset's record, to tell whether it changes.
std::vector<uint8_t> recordBytes(const StreamSettings& preset)
{
    StreamSettingsSet one(1);
    one.at(0) = preset;
    std::vector<uint8_t> bytes;
    writeConfigBytes(one, bytes);
    return bytes;
}

// What writing `presets` over the loaded ones would change, one line each.
void describeChanges(const StreamSettingsSet& before, const StreamSettingsSet& after, const std::string& config,
                     const CodePage& codePage, std::ostream& out)
{
    auto presetLabel = [&](int index, const StreamSettings& preset) {
        std::string name;
        std::string problem;
        if (!codePage.toUtf8(preset.name(), name, problem))
            name = "?";
        return "preset " + std::to_string(index) + " \"" + consoleText(name) + "\"";
    };
    const int count = std::max(before.count(), after.count());
    for (int index = 0; index < count; ++index) {
        if (index >= before.count())
            out << config << ": " << presetLabel(index, after.at(index)) << " would be added\n";
        else if (index >= after.count())
            out << config << ": " << presetLabel(index, before.at(index)) << " would be removed\n";
        else if (recordBytes(before.at(index)) != recordBytes(after.at(index)))
            out << config << ": " << presetLabel(index, after.at(index)) << " would change\n";
    }
    if (before.setFlag_ != after.setFlag_ || before.current_ != after.current_)
        out << config << ": the set flag or the current preset would change\n";
}

// --dry-run: says what the import would do to config.dat; nothing is written.
int reportDryRun(StreamSettingsSet& presets, const ConfigLoad& load, const StreamSettingsSet& existing,
                 const std::string& config, const CodePage& codePage, std::ostream& out)
{
    switch (load.outcome) {
    case LoadOutcome::loaded:
        describeChanges(existing, presets, config, codePage, out);
        out << config << ": would be written, " << counted(presets.count(), "preset") << '\n';
        break;
    case LoadOutcome::damaged:
        out << config << ": not a config.dat the editor accepts; would be kept as "
            << utf8Path(damagedCopyName(toFilePath(config))) << " and replaced, " << counted(presets.count(), "preset")
            << '\n';
        break;
    case LoadOutcome::unreadable:
        out << config << ": cannot be read now; would be replaced, " << counted(presets.count(), "preset") << '\n';
        break;
    case LoadOutcome::missing:
    case LoadOutcome::empty:
        out << config << ": would be created, " << counted(presets.count(), "preset") << '\n';
        break;
    }
    return kWouldChange;
}

int importPresets(const ImportArguments& arguments, ToolContext& context)
{
    ToolIo& io = context.io;
    std::string json;
    if (!readInput(arguments.input, json, io))
        return kInputRefused;
    StreamSettingsSet merged(1);
    if (arguments.merge && !loadConfig(arguments.config, merged, io))
        return kInputRefused;

    ImportOptions options;
    options.strict = arguments.strict;
    options.mergeInto = arguments.merge ? &merged : nullptr;
    StreamSettingsSet presets(1);
    ImportReport report;
    const bool accepted = presetsFromJson(json, *context.codePage, options, presets, report);
    const std::string source = inputName(arguments.input);
    for (const auto* lines : {&report.notices, &report.changes, &report.refusals}) {
        for (const std::string& line : *lines)
            io.err << source << ": " << consoleText(line) << '\n';
    }
    if (!accepted) {
        io.err << source << ": refused; " << arguments.config << " is not written\n";
        return kInputRefused;
    }

    const FilePath configPath = toFilePath(arguments.config);
    std::vector<uint8_t> bytes;
    writeConfigBytes(presets, bytes);
    if (fileHoldsBytes(configPath, bytes)) {
        io.out << arguments.config << ": unchanged, " << counted(presets.count(), "preset") << '\n';
        return kDone;
    }
    StreamSettingsSet existing(1);
    const ConfigLoad load = loadConfigFile(existing, configPath);
    if (arguments.dryRun)
        return reportDryRun(presets, load, existing, arguments.config, *context.codePage, io.out);

    // A file the editor would not read may still hold presets worth recovering.
    if (load.outcome == LoadOutcome::damaged) {
        const FilePath copy = damagedCopyName(configPath);
        if (!keepDamagedCopy(configPath)) {
            const std::string reason = lastFileReason();
            io.err << arguments.config << ": damaged, and it cannot be kept as " << utf8Path(copy)
                   << (reason.empty() ? "" : " (" + reason + ")") << "; it is not replaced\n";
            return kNotWritten;
        }
        io.err << arguments.config << ": damaged; kept as " << utf8Path(copy) << '\n';
    }
    const SaveResult saved = writeConfigFile(presets, configPath);
    if (!saved) {
        io.err << saveFailureLine(arguments.config, saved, load.outcome != LoadOutcome::missing);
        return kNotWritten;
    }
    context.configWritten = arguments.config;
    io.out << arguments.config << ": " << counted(presets.count(), "preset") << " written\n";
    return kDone;
}

}  // namespace

Command addImportCommand(CLI::App& program, ToolContext& context)
{
    auto arguments = std::make_shared<ImportArguments>();
    CLI::App* command = program.add_subcommand(
        "import", "Check presets given as JSON and write them into a config.dat, as the editor saves");
    command->add_option("IN.json", arguments->input, "the JSON to read; - for standard input")->required();
    command->add_option("-o,--output", arguments->config, "the config.dat to write")
        ->required()
        ->check(writtenConfigFile());
    command->add_flag("--merge", arguments->merge,
                      "keep the presets of CONFIG: imported presets replace those of the same name, the others are "
                      "appended; CONFIG's set flag and current index stay");
    command->add_flag("--strict", arguments->strict,
                      "refuse values out of range instead of bringing them into range, and endpoints of one sharing "
                      "group with different values instead of taking them as given");
    command->add_flag("--dry-run", arguments->dryRun,
                      "write nothing; say what would change and exit with 0 when nothing would, 4 when it would");
    return {command, [arguments, &context] { return importPresets(*arguments, context); }};
}
