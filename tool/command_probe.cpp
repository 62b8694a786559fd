// probe CONFIG [--preset NAME]... [--seconds N] [--json]: whether the source
// of each preset reaches this machine, what it sends, and which settings
// will work.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <system_error>
#include <thread>

#include "model/stream_url.h"
#include "model/text_conversion.h"
#include "probe/source_probe.h"
#include "probe/thread_end.h"
#include "tool/code_page.h"
#include "tool/commands.h"
#include "tool/interrupt.h"
#include "tool/text_table.h"

namespace {

using Json = nlohmann::ordered_json;

// Probes that run at once at most: each mostly waits, so more than the cores.
constexpr size_t kParallelProbes = 32;

struct ProbeArguments {
    std::string config;
    std::vector<std::string> presets;
    int seconds = 3;
    bool json = false;
};

struct ChosenPreset {
    int index;
    std::string name;
    SourceEndpoint source;
    std::string url;      // as players take it; empty where none does
    std::string problem;  // why it cannot be probed: its texts do not convert
    bool named = false;   // by --preset
};

bool isOff(const ChosenPreset& preset)
{
    return preset.source.keyword == "off";
}

bool isProbed(const ChosenPreset& preset)
{
    return !isOff(preset) && preset.problem.empty();
}

// The presets named on the command line, or all; their texts in UTF-8.
int choosePresets(const StreamSettingsSet& presets, const ProbeArguments& arguments, ToolContext& context,
                  std::vector<ChosenPreset>& chosen)
{
    std::vector<bool> named(arguments.presets.size(), false);
    for (int index = 0; index < presets.count(); ++index) {
        const StreamSettings& preset = presets.at(index);
        const StreamEndpoint& endpoint = preset.endpoint(preset.protocol());
        ChosenPreset entry{index, "", {preset.protocolKeyword(), "", endpoint.port_, ""}, "", "", false};
        std::string problem;
        if (!context.codePage->toUtf8(preset.name(), entry.name, problem) ||
            !context.codePage->toUtf8(endpoint.host_, entry.source.host, problem) ||
            !context.codePage->toUtf8(endpoint.streamName_, entry.source.streamName, problem) ||
            !context.codePage->toUtf8(sourceUrl(preset), entry.url, problem))
            entry.problem = "not probed: the preset holds " + problem;
        for (size_t name = 0; name < arguments.presets.size(); ++name) {
            if (arguments.presets[name] == entry.name)
                entry.named = named[name] = true;
        }
        if (arguments.presets.empty() || entry.named)
            chosen.push_back(entry);
    }
    for (size_t name = 0; name < arguments.presets.size(); ++name) {
        if (!named[name]) {
            context.io.err << "--preset: " << arguments.config << " has no preset named \"" << arguments.presets[name]
                           << "\"\n";
            return kWrongUsage;
        }
    }
    return kDone;
}

// The report of a preset that is not probed: off (a failure only where the
// user asked for it by name), or with texts that do not convert.
ProbeReport unprobedReport(const ChosenPreset& preset)
{
    ProbeReport report;
    report.target = "-";
    report.detail = isOff(preset) ? "not probed: the protocol is off" : preset.problem;
    return report;
}

bool countsAsFailed(const ChosenPreset& preset, const ProbeReport& report)
{
    if (isOff(preset))
        return preset.named;
    return report.verdict == ProbeVerdict::failed;
}

// Presets whose probes would take the same local port wait for each other;
// the key says which port, or is the preset's own.
std::string localPortKey(const ChosenPreset& preset)
{
    const std::string& keyword = preset.source.keyword;
    const std::string port = std::to_string(preset.source.port);
    if (keyword == "ts-udp" || keyword == "cds-udp" || keyword == "ts-multi" || keyword == "cds-multi")
        return "udp " + port;
    if (keyword == "ts-tcp")
        return "tcp " + port;
    return "preset " + std::to_string(preset.index);
}

// Runs the probes on a few threads; the reports come out in preset order.
// A thread ends when no probe is left for it, never with an exception.
class ProbeRunner {
public:
    ProbeRunner(const std::vector<ChosenPreset>& presets, std::chrono::milliseconds duration, const CancelToken& cancel)
        : presets_(presets), duration_(duration), cancel_(cancel), reports_(presets.size())
    {
        std::map<std::string, size_t> chainOfKey;
        for (size_t position = 0; position < presets.size(); ++position) {
            if (!isProbed(presets[position])) {
                reports_[position] = unprobedReport(presets[position]);
                continue;
            }
            const auto found = chainOfKey.emplace(localPortKey(presets[position]), chains_.size());
            if (found.second)
                chains_.emplace_back();
            chains_[found.first->second].push_back(position);
        }
        const size_t threads = std::min(kParallelProbes, chains_.size());
        try {
            for (size_t thread = 0; thread < threads; ++thread)
                workers_.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            if (workers_.empty())
                work();  // no thread at all: the probes run one after the other here
        }
    }
    ~ProbeRunner()
    {
        for (std::thread& worker : workers_)
            worker.join();
    }
    ProbeRunner(const ProbeRunner&) = delete;
    ProbeRunner& operator=(const ProbeRunner&) = delete;

    // The report of the preset at `position`, once its probe is done.
    ProbeReport reportAt(size_t position)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [&] { return reports_[position].has_value(); });
        return *reports_[position];
    }

private:
    void work()
    {
        for (;;) {
            std::vector<size_t> chain;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (chains_.empty())
                    return;
                chain = std::move(chains_.front());
                chains_.pop_front();
            }
            for (size_t position : chain) {
                ProbeReport report = probeOf(presets_[position].source);
                std::lock_guard<std::mutex> lock(mutex_);
                reports_[position] = std::move(report);
                done_.notify_all();
            }
        }
    }

    // A probe that cannot go on (out of memory) ends with the preset, not the thread.
    ProbeReport probeOf(const SourceEndpoint& source)
    {
        try {
            return probeSource(source, duration_, cancel_);
        } catch (const std::exception& error) {
            ProbeReport report;
            report.target = sourceTarget(source);
            report.detail = couldNotBeRead(error);
            return report;
        }
    }

    const std::vector<ChosenPreset>& presets_;
    const std::chrono::milliseconds duration_;
    const CancelToken& cancel_;
    std::mutex mutex_;
    std::condition_variable done_;
    std::vector<std::optional<ProbeReport>> reports_;
    std::deque<std::vector<size_t>> chains_;
    std::vector<std::thread> workers_;
};

// A finding that was measured; one that was not is left out, not null.
template <typename Value>
void putIfMeasured(Json& entry, const char* key, const std::optional<Value>& value)
{
    if (value)
        entry[key] = *value;
}

Json jsonOf(const ChosenPreset& preset, const ProbeReport& report)
{
    Json entry = {{"index", preset.index},
                  {"name", preset.name},
                  {"protocol", preset.source.keyword},
                  {"url", preset.url.empty() ? Json() : Json(preset.url)},
                  {"target", report.target},
                  {"ok", report.verdict == ProbeVerdict::ok},
                  {"detail", verdictSentence(report)}};
    if (!isProbed(preset))
        entry["probed"] = false;
    if (report.verdict == ProbeVerdict::busy)
        entry["busy"] = true;
    if (!report.busyOwner.empty())
        entry["busy_owner"] = report.busyOwner;
    putIfMeasured(entry, "packets", report.packets);
    putIfMeasured(entry, "bytes", report.bytes);
    putIfMeasured(entry, "ts_packets", report.tsPackets);
    putIfMeasured(entry, "mpeg_ts", report.mpegTs);
    putIfMeasured(entry, "rtsp_status", report.rtspStatus);
    putIfMeasured(entry, "media", report.media);
    if (!report.senders.empty())
        entry["senders"] = report.senders;
    if (!report.interfaces.empty()) {
        Json interfaces = Json::array();
        for (const InterfaceReceipt& receipt : report.interfaces)
            interfaces.push_back({{"address", receipt.address}, {"name", receipt.name}, {"packets", receipt.packets}});
        entry["interfaces"] = interfaces;
    }
    if (!report.systemChoice.empty())
        entry["system_choice"] = report.systemChoice;
    if (!report.transports.empty()) {
        Json transports = Json::object();
        for (const TransportTrial& tried : report.transports)
            transports[tried.protocol] = {{"delivered", tried.delivered}, {"detail", tried.detail}};
        entry["transports"] = transports;
    }
    if (!report.recommendedProtocol.empty())
        entry["recommended_protocol"] = report.recommendedProtocol;
    putIfMeasured(entry, "bitrate_kbps", report.bitrateKbps);
    putIfMeasured(entry, "payload_type", report.payloadType);
    putIfMeasured(entry, "lost", report.lost);
    putIfMeasured(entry, "cc_errors", report.ccErrors);
    putIfMeasured(entry, "jitter_ms", report.jitterMs);
    putIfMeasured(entry, "suggested_jitter_buffer_ms", report.suggestedJitterBufferMs);
    return entry;
}

// One line per preset, each printed as soon as its probe and those before it are done.
class ProbeTable {
public:
    ProbeTable(const std::vector<ChosenPreset>& presets, std::ostream& out) : out_(out)
    {
        std::vector<TableRow> rows = {header()};
        for (const ChosenPreset& preset : presets)
            rows.push_back(row(preset, isProbed(preset) ? sourceTarget(preset.source) : "-", "FAILED"));
        widths_ = columnWidths(rows);
        out_ << tableLine(header(), widths_) << std::endl;
    }

    void add(const ChosenPreset& preset, const ProbeReport& report)
    {
        const char* verdict = isOff(preset) && !preset.named ? "-" : verdictWord(report.verdict);
        out_ << tableLine(row(preset, report.target, verdict, verdictSentence(report)), widths_) << std::endl;
    }

private:
    static TableRow header() { return {"#", "Name", "Protocol", "Target", "Result"}; }
    static TableRow row(const ChosenPreset& preset, const std::string& target, const char* verdict,
                        const std::string& detail = "")
    {
        return {std::to_string(preset.index), preset.name, preset.source.keyword, target, verdict, detail};
    }

    std::ostream& out_;
    std::vector<size_t> widths_;
};

int probePresets(const ProbeArguments& arguments, ToolContext& context)
{
    ToolIo& io = context.io;
    StreamSettingsSet presets(1);
    if (!loadConfig(arguments.config, presets, io))
        return kConfigUnreadable;
    std::vector<ChosenPreset> chosen;
    const int choice = choosePresets(presets, arguments, context, chosen);
    if (choice != kDone)
        return choice;

    CancelToken cancel;
    const InterruptWatch interruptWatch(cancel);
    std::unique_ptr<ProbeTable> table;
    if (!arguments.json)
        table = std::make_unique<ProbeTable>(chosen, io.out);
    Json results = Json::array();
    int probed = 0;
    int busy = 0;  // nothing is known of these sources, but nothing failed either
    int failed = 0;
    {
        ProbeRunner runner(chosen, std::chrono::seconds(arguments.seconds), cancel);
        for (size_t position = 0; position < chosen.size(); ++position) {
            const ChosenPreset& preset = chosen[position];
            const ProbeReport report = runner.reportAt(position);
            if (report.verdict == ProbeVerdict::stopped)
                break;
            if (!isOff(preset) || preset.named) {
                ++probed;
                busy += report.verdict == ProbeVerdict::busy ? 1 : 0;
            }
            failed += countsAsFailed(preset, report) ? 1 : 0;
            results.push_back(jsonOf(preset, report));
            if (table)
                table->add(preset, report);
        }
    }
    if (arguments.json)
        io.out << results.dump(2, ' ', false, Json::error_handler_t::replace) << std::endl;
    else
        io.out << probed - failed - busy << " of " << counted(probed, "source") << " OK"
               << (busy > 0 ? ", " + std::to_string(busy) + " busy" : "") << '\n';
    if (cancel.cancelled()) {
        io.err << "riverra-presets: stopped by Ctrl+C\n";
        return kInterrupted;
    }
    return failed == 0 ? kDone : kSourceFailed;
}

}  // namespace

Command addProbeCommand(CLI::App& program, ToolContext& context)
{
    auto arguments = std::make_shared<ProbeArguments>();
    CLI::App* command = program.add_subcommand(
        "probe", "Check whether the source of each preset reaches this machine, what it sends, and which settings work");
    command->add_option("CONFIG", arguments->config, "the config.dat to read; - for standard input")->required();
    command->add_option("--preset", arguments->presets, "probe only the preset of this name (may be repeated)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    command->add_option("--seconds", arguments->seconds, "how long each source is probed at most (default 3)")
        ->check(CLI::Range(1, 30));
    command->add_flag("--json", arguments->json, "print the findings as a JSON array");
    command->footer("Presets are numbered from 0; several are probed at once. Exit codes: 0 every probed source is "
                    "reachable and sends what its preset can use (a port that another program holds is busy, not "
                    "failed); 1 at least one is not, its preset is misconfigured, or --preset names a preset that "
                    "is off; 2 wrong usage; 3 CONFIG cannot be read; 130 stopped by Ctrl+C.");
    return {command, [arguments, &context] { return probePresets(*arguments, context); }};
}
