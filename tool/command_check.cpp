// check CONFIG: whether the editor accepts a config.dat, and where it breaks.
#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>

#include "model/text_conversion.h"
#include "tool/commands.h"

namespace {

int checkConfig(const std::string& config, ToolContext& context)
{
    StreamSettingsSet presets(1);
    if (!loadConfig(config, presets, context.io))
        return kInputRefused;
    context.io.out << config << ": accepted, " << counted(presets.count(), "preset") << '\n';
    return kDone;
}

}  // namespace

Command addCheckCommand(CLI::App& program, ToolContext& context)
{
    auto config = std::make_shared<std::string>();
    CLI::App* command = program.add_subcommand(
        "check", "Read a config.dat with the editor's reader: the preset count, or the byte where it breaks");
    command->add_option("CONFIG", *config, "the config.dat to read")->required();
    return {command, [config, &context] { return checkConfig(*config, context); }};
}
