// import IN.json -o CONFIG [--merge] [--strict]: JSON into config.dat, saved
// the way the editor saves.
#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>

#include "persist/config_file.h"
#include "tool/commands.h"
#include "tool/preset_json.h"

namespace {

struct ImportArguments {
    std::string input;
    std::string config;
    bool merge = false;
    bool strict = false;
};

int importPresets(const ImportArguments& arguments, ToolContext& context)
{
    ToolIo& io = context.io;
    std::string json;
    if (!readInput(arguments.input, json, io))
        return kInputRefused;
    StreamSettingsSet existing(1);
    if (arguments.merge && !loadConfig(arguments.config, existing, io))
        return kInputRefused;

    ImportOptions options;
    options.strict = arguments.strict;
    options.mergeInto = arguments.merge ? &existing : nullptr;
    StreamSettingsSet presets(1);
    ImportReport report;
    const bool accepted = presetsFromJson(json, *context.codePage, options, presets, report);
    const std::string source = arguments.input == "-" ? "standard input" : arguments.input;
    for (const std::string& line : report.changes)
        io.err << source << ": " << line << '\n';
    for (const std::string& line : report.refusals)
        io.err << source << ": " << line << '\n';
    if (!accepted) {
        io.err << source << ": refused; " << arguments.config << " is not written\n";
        return kInputRefused;
    }
    if (!writeConfigFile(presets, toFilePath(arguments.config))) {
        io.err << arguments.config << ": cannot be written; the previous file is kept\n";
        return kNotWritten;
    }
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
    command->add_option("-o,--output", arguments->config, "the config.dat to write")->required();
    command->add_flag("--merge", arguments->merge,
                      "keep the presets of CONFIG: imported presets replace those of the same name, the others are "
                      "appended; CONFIG's set flag and current index stay");
    command->add_flag("--strict", arguments->strict, "refuse values out of range instead of bringing them into range");
    return {command, [arguments, &context] { return importPresets(*arguments, context); }};
}
