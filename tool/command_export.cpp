// export CONFIG [-o OUT.json]: the presets as JSON.
#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>

#include "tool/commands.h"
#include "tool/preset_json.h"

namespace {

struct ExportOptions {
    std::string config;
    std::string output;
};

int exportPresets(const ExportOptions& options, ToolContext& context)
{
    StreamSettingsSet presets(1);
    if (!loadConfig(options.config, presets, context.io))
        return kInputRefused;
    std::string json;
    std::string problem;
    if (!presetsToJson(presets, *context.codePage, json, problem)) {
        context.io.err << inputName(options.config) << ": " << problem << '\n';
        return kInputRefused;
    }
    return writeOutput(options.output, json, context.io) ? kDone : kNotWritten;
}

}  // namespace

Command addExportCommand(CLI::App& program, ToolContext& context)
{
    auto options = std::make_shared<ExportOptions>();
    CLI::App* command = program.add_subcommand("export", "Write the presets of a config.dat as JSON");
    command->add_option("CONFIG", options->config, "the config.dat to read; - for standard input")->required();
    command->add_option("-o,--output", options->output, "the JSON file to write (default, or -: standard output)");
    return {command, [options, &context] { return exportPresets(*options, context); }};
}
