// show CONFIG [--urls]: the presets as a table a person reads.
#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>

#include "model/protocol_table.h"
#include "model/stream_url.h"
#include "model/text_conversion.h"
#include "tool/code_page.h"
#include "tool/commands.h"
#include "tool/text_table.h"

namespace {

// A row makes the table's line of one preset; false when a text is not text
// of the code page.
using RowOf = bool (*)(const StreamSettingsSet& presets, int index, const CodePage& codePage, TableRow& row,
                       std::string& problem);

std::string currentMark(const StreamSettingsSet& presets, int index)
{
    return index == presets.current_ ? "*" : "";
}

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
    row = {currentMark(presets, index),
           std::to_string(index),
           name,
           protocolDisplayName(preset.protocol()),
           endpointText(preset, host, streamName),
           preset.sync() ? "yes" : "no",
           jitter == "auto" ? jitter : jitter + " ms",
           toDecimal(preset.lipSync()) + " ms"};
    return true;
}

// The preset's source as players take it, for cross-checking with one;
// "-" where no player receives the protocol.
bool urlRow(const StreamSettingsSet& presets, int index, const CodePage& codePage, TableRow& row,
            std::string& problem)
{
    const StreamSettings& preset = presets.at(index);
    std::string name, url;
    if (!codePage.toUtf8(preset.name(), name, problem) || !codePage.toUtf8(sourceUrl(preset), url, problem))
        return false;
    row = {currentMark(presets, index), std::to_string(index), name, protocolDisplayName(preset.protocol()),
           url.empty() ? "-" : url};
    return true;
}

int showPresets(const std::string& config, bool urls, ToolContext& context)
{
    StreamSettingsSet presets(1);
    if (!loadConfig(config, presets, context.io))
        return kInputRefused;
    if (presets.count() == 0) {
        context.io.out << inputName(config) << ": no presets\n";
        return kDone;
    }
    std::vector<TableRow> rows = {urls ? TableRow{"", "#", "Name", "Protocol", "URL"}
                                       : TableRow{"", "#", "Name", "Protocol", "Endpoint", "Sync", "Jitter buffer",
                                                  "Lip-sync"}};
    const RowOf rowOf = urls ? urlRow : presetRow;
    for (int index = 0; index < presets.count(); ++index) {
        std::string problem;
        rows.emplace_back();
        if (!rowOf(presets, index, *context.codePage, rows.back(), problem)) {
            context.io.err << inputName(config) << ": preset " << index << " holds " << problem << '\n';
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
    auto urls = std::make_shared<bool>(false);
    CLI::App* command = program.add_subcommand("show", "Print the presets of a config.dat as a table");
    command->add_option("CONFIG", *config, "the config.dat to read; - for standard input")->required();
    command->add_flag("--urls", *urls, "each preset's source as a URL that players take, instead of the settings");
    return {command, [config, urls, &context] { return showPresets(*config, *urls, context); }};
}
