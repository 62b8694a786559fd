// show CONFIG: the presets as a table a person reads.
#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>

#include "model/protocol_table.h"
#include "model/text_conversion.h"
#include "tool/code_page.h"
#include "tool/commands.h"
#include "tool/text_table.h"

namespace {

// Host, port and stream name as far as they apply to the selected protocol.
std::string endpointText(const StreamSettings& preset, const std::string& host, const std::string& streamName)
{
    const std::string keyword = preset.protocolKeyword();
    if (!keywordUsesPort(keyword))
        return "-";
    const std::string port = preset.portText();
    std::string text = keywordUsesHost(keyword) ? host + ":" + port : "port " + port;
    if (keywordUsesStreamName(keyword))
        text += ", stream " + streamName;
    return text;
}

// The row of one preset; false when a text is not text of the code page.
bool presetRow(const StreamSettingsSet& presets, int index, const CodePage& codePage, TableRow& row,
               std::string& problem)
{
    const StreamSettings& preset = presets.at(index);
    const StreamEndpoint& endpoint = preset.endpoint(preset.protocol());
    std::string name, host, streamName;
    if (!codePage.toUtf8(preset.name(), name, problem) || !codePage.toUtf8(endpoint.host_, host, problem) ||
        !codePage.toUtf8(endpoint.streamName_, streamName, problem))
        return false;
    const std::string jitter = preset.jitterDelayText();
    row = {index == presets.current_ ? "*" : "",
           std::to_string(index),
           name,
           protocolDisplayName(preset.protocol()),
           endpointText(preset, host, streamName),
           preset.sync() ? "yes" : "no",
           jitter == "auto" ? jitter : jitter + " ms",
           toDecimal(preset.lipSync()) + " ms"};
    return true;
}

int showPresets(const std::string& config, ToolContext& context)
{
    StreamSettingsSet presets(1);
    if (!loadConfig(config, presets, context.io))
        return kInputRefused;
    if (presets.count() == 0) {
        context.io.out << config << ": no presets\n";
        return kDone;
    }
    std::vector<TableRow> rows = {{"", "#", "Name", "Protocol", "Endpoint", "Sync", "Jitter buffer", "Lip-sync"}};
    for (int index = 0; index < presets.count(); ++index) {
        std::string problem;
        rows.emplace_back();
        if (!presetRow(presets, index, *context.codePage, rows.back(), problem)) {
            context.io.err << config << ": preset " << index << " holds " << problem << '\n';
            return kInputRefused;
        }
    }
    const std::vector<size_t> widths = columnWidths(rows);
    for (const TableRow& row : rows)
        context.io.out << tableLine(row, widths) << '\n';
    context.io.out << "* shown first when the editor opens\n";
    return kDone;
}

}  // namespace

Command addShowCommand(CLI::App& program, ToolContext& context)
{
    auto config = std::make_shared<std::string>();
    CLI::App* command = program.add_subcommand("show", "Print the presets of a config.dat as a table");
    command->add_option("CONFIG", *config, "the config.dat to read")->required();
    return {command, [config, &context] { return showPresets(*config, context); }};
}
