#include "ui/source_test.h"

#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/host_link.h"
#include "app/process_state.h"
#include "model/protocol_table.h"
#include "model/text_conversion.h"
#include "probe/source_probe.h"
#include "probe/thread_end.h"
#include "ui/dialog_worker.h"
#include "ui/no_throw.h"
#include "ui/owned_dialog.h"
#include "ui/preset_page.h"
#include "ui/resource.h"

namespace {

// Posted by the worker: news of the probe, and its end.
constexpr UINT kTestNews = WM_APP + 1;
constexpr UINT kTestDone = WM_APP + 2;

// As long as the tool probes by default: long enough to suggest a jitter buffer.
constexpr std::chrono::seconds kTestDuration{3};

// What the probe's thread and the dialog share.
struct TestRun : DialogWork {
    SourceEndpoint source;
    std::string news;
    std::optional<ProbeReport> report;
};

// The dialog's own state, on the stack of testSource().
struct SourceTest {
    HWND page;
    int presetIndex;
    DialogWorker<TestRun> run;
    ProbeReport report;
};

SourceTest& stateOf(HWND dialog)
{
    return *reinterpret_cast<SourceTest*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

StreamSettings& presetOf(const SourceTest& test)
{
    return preset_collection.at(test.presetIndex);
}

void showText(HWND dialog, int controlId, const std::wstring& text)
{
    SetDlgItemTextW(dialog, controlId, text.c_str());
}

void showControl(HWND dialog, int controlId, bool shown)
{
    ShowWindow(GetDlgItem(dialog, controlId), shown ? SW_SHOW : SW_HIDE);
}

// The preset's endpoint in the probe's UTF-8.
SourceEndpoint endpointOf(const StreamSettings& preset)
{
    const StreamEndpoint& endpoint = preset.endpoint(preset.protocol());
    return {preset.protocolKeyword(), utf8FromWide(toWide(endpoint.host_)), endpoint.port_,
            utf8FromWide(toWide(endpoint.streamName_))};
}

// The body of the test's thread: it ends when the probe does, and never
// with an exception.
void probeOnWorker(TestRun& run) noexcept
{
    ProbeReport report;
    try {
        report = probeSource(run.source, kTestDuration, run.cancel, [&run](const std::string& news) {
            {
                std::lock_guard<std::mutex> lock(run.mutex);
                run.news = news;
            }
            run.post(kTestNews);
        });
    } catch (const std::exception& error) {
        report = {};
        report.detail = couldNotBeRead(error);
    }
    {
        std::lock_guard<std::mutex> lock(run.mutex);
        run.report = std::move(report);
    }
    run.post(kTestDone);
}

std::string joined(const std::vector<std::string>& parts, const char* separator)
{
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : separator) + part;
    return text;
}

std::string protocolNameOf(const std::string& keyword)
{
    return protocolDisplayName(protocolIndexOfKeyword(keyword));
}

bool isRendererName(const std::string& program)
{
    return CompareStringOrdinal(wideFromUtf8(program).c_str(), -1, L"Renderer.exe", -1, TRUE) == CSTR_EQUAL;
}

// Why nothing is known of the source when another program holds its port.
std::string holderLine(const ProbeReport& report, int32_t port)
{
    const std::string held = "port " + std::to_string(port) + " is held by " + report.busyOwner;
    return isRendererName(report.busyOwner) ? held + ": the renderer is running, so the source cannot be tested while it runs"
                                            : held + ", so the source cannot be tested while it runs";
}

std::string arrivalLine(const ProbeReport& report)
{
    std::vector<std::string> parts;
    if (report.media && !report.media->empty())
        parts.push_back(joined(*report.media, ", "));
    if (report.bitrateKbps) {
        char rate[32];
        std::snprintf(rate, sizeof(rate), "%.1f kbit/s", *report.bitrateKbps);
        parts.push_back(rate);
    }
    if (report.packets)
        parts.push_back(std::to_string(*report.packets) + " packets");
    return parts.empty() ? "" : "Arrives: " + joined(parts, "; ");
}

std::string transportLine(const ProbeReport& report)
{
    if (report.transports.empty())
        return "";
    std::vector<std::string> delivered;
    for (const TransportTrial& trial : report.transports)
        if (trial.delivered)
            delivered.push_back(protocolNameOf(trial.protocol) + " (" + trial.detail + ")");
    return "Transports that delivered: " + (delivered.empty() ? "none" : joined(delivered, ", "));
}

std::string interfaceLine(const ProbeReport& report)
{
    if (report.interfaces.empty())
        return "";
    std::vector<std::string> receipts;
    for (const InterfaceReceipt& receipt : report.interfaces)
        receipts.push_back(receipt.name + " " + receipt.address + " (" + std::to_string(receipt.packets) + " packets)");
    std::string line = "Arrives on: " + joined(receipts, ", ");
    if (!report.systemChoice.empty())
        line += "; the system joins on " + report.systemChoice;
    return line;
}

// The findings, one per line: the verdict as the tool words it first (its
// advice holds the suggested jitter buffer).
std::wstring findingsText(const ProbeReport& report, int32_t port)
{
    const std::string sentence = verdictSentence(report);
    const bool stoppedEarly = report.verdict == ProbeVerdict::stopped && sentence.empty();
    std::vector<std::string> lines = {stoppedEarly ? "stopped before the test was done" : sentence};
    if (report.verdict == ProbeVerdict::busy && !report.busyOwner.empty())
        lines.push_back(holderLine(report, port));
    lines.push_back(arrivalLine(report));
    lines.push_back(transportLine(report));
    lines.push_back(interfaceLine(report));
    std::string text;
    for (const std::string& line : lines)
        if (!line.empty())
            text += (text.empty() ? "" : "\r\n") + line;
    return wideFromUtf8(text);
}

// The recommendations that would change the preset as it now stands.
bool offersProtocol(const SourceTest& test)
{
    const std::string& recommended = test.report.recommendedProtocol;
    return !recommended.empty() && recommended != presetOf(test).protocolKeyword() &&
           protocolIndexOfKeyword(recommended) >= 0;
}

bool offersJitterBuffer(const SourceTest& test)
{
    const StreamSettings& preset = presetOf(test);
    const std::optional<int>& suggested = test.report.suggestedJitterBufferMs;
    return suggested && !preset.sync() && (preset.autoJitter() || preset.jitterDelay() != *suggested);
}

void showRecommendations(HWND dialog, const SourceTest& test)
{
    const bool protocol = offersProtocol(test);
    if (protocol)
        showText(dialog, IDC_USE_PROTOCOL, L"Use " + toWide(protocolNameOf(test.report.recommendedProtocol)));
    showControl(dialog, IDC_USE_PROTOCOL, protocol);
    const bool jitter = offersJitterBuffer(test);
    if (jitter)
        showText(dialog, IDC_USE_JITTER_BUFFER,
                 L"Set jitter buffer to " + std::to_wstring(*test.report.suggestedJitterBufferMs) + L" ms");
    showControl(dialog, IDC_USE_JITTER_BUFFER, jitter);
}

void showRunning(HWND dialog, bool running)
{
    showControl(dialog, IDC_TEST_PROGRESS, running);
    SendDlgItemMessageW(dialog, IDC_TEST_PROGRESS, PBM_SETMARQUEE, running ? TRUE : FALSE, 0);
    EnableWindow(GetDlgItem(dialog, IDC_TEST_STOP), running ? TRUE : FALSE);
}

// The button that had the keyboard may have gone; Close takes it then.
void keepKeyboardOnAButton(HWND dialog)
{
    const HWND focus = GetFocus();
    if (!focus || !IsWindowVisible(focus) || !IsWindowEnabled(focus))
        SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDCLOSE)), TRUE);
}

void startTest(HWND dialog, SourceTest& test)
{
    auto run = std::make_shared<TestRun>();
    run->source = endpointOf(presetOf(test));
    showText(dialog, IDC_TEST_TARGET, wideFromUtf8(sourceTarget(run->source)));
    if (!test.run.start(dialog, std::move(run), probeOnWorker)) {
        test.report.detail = "the test could not start: no thread for it";
        showText(dialog, IDC_TEST_FINDINGS, wideFromUtf8(verdictSentence(test.report)));
        return;
    }
    showRunning(dialog, true);
}

void onInitDialog(HWND dialog, SourceTest& test)
{
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&test));
    SetWindowTextW(dialog, (L"Test Source \u2014 " + toWide(presetOf(test).name())).c_str());
    startTest(dialog, test);
    // The keyboard starts on Stop while the test runs, on Close otherwise.
    SetFocus(GetDlgItem(dialog, test.run.running() ? IDC_TEST_STOP : IDCLOSE));
}

void onNews(HWND dialog, const SourceTest& test)
{
    if (!test.run)
        return;  // news of a test let go of
    std::string news;
    {
        std::lock_guard<std::mutex> lock(test.run->mutex);
        news = test.run->news;
    }
    showText(dialog, IDC_TEST_NEWS, wideFromUtf8(news));
}

void onDone(HWND dialog, SourceTest& test)
{
    if (!test.run)
        return;
    {
        std::lock_guard<std::mutex> lock(test.run->mutex);
        if (!test.run->report)
            return;
        test.report = *test.run->report;
    }
    test.run.finished();
    showRunning(dialog, false);
    showText(dialog, IDC_TEST_NEWS, wideFromUtf8(verdictWord(test.report.verdict)));
    showText(dialog, IDC_TEST_FINDINGS, findingsText(test.report, test.run->source.port));
    showRecommendations(dialog, test);
    keepKeyboardOnAButton(dialog);
}

// A recommendation goes in as the user's own change on the page would.
void applyRecommendation(HWND dialog, SourceTest& test, int controlId)
{
    StreamSettings& preset = presetOf(test);
    if (controlId == IDC_USE_PROTOCOL && offersProtocol(test)) {
        preset.selectProtocol(protocolIndexOfKeyword(test.report.recommendedProtocol));
    } else if (controlId == IDC_USE_JITTER_BUFFER && offersJitterBuffer(test)) {
        preset.setAutoJitter(false);
        preset.setJitterDelay(*test.report.suggestedJitterBufferMs);
    }
    showPreset(test.page, false);
    showRecommendations(dialog, test);
    keepKeyboardOnAButton(dialog);
}

void onStop(HWND dialog, SourceTest& test)
{
    if (!test.run.running())
        return;
    test.run.stop();
    showText(dialog, IDC_TEST_NEWS, L"stopping\u2026");
}

// In live mode turning to another program closes the editor.
void onActivate(HWND dialog, SourceTest& test, WPARAM wParam, LPARAM lParam)
{
    if (!live_mode || !turnsAwayFromEditor(GetWindow(dialog, GW_OWNER), wParam, lParam))
        return;
    test.run.letGo();
    endWithEditor(dialog);
}

void onCommand(HWND dialog, SourceTest& test, int controlId)
{
    switch (controlId) {
    case IDC_TEST_STOP:
        onStop(dialog, test);
        break;
    case IDC_USE_PROTOCOL:
    case IDC_USE_JITTER_BUFFER:
        applyRecommendation(dialog, test, controlId);
        break;
    case IDCLOSE:
    case IDCANCEL:  // the Escape key and the close box
        test.run.letGo();
        EndDialog(dialog, controlId);
        break;
    }
}

INT_PTR handleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        onInitDialog(dialog, *reinterpret_cast<SourceTest*>(lParam));
        return FALSE;  // the focus is set
    }
    if (!GetWindowLongPtrW(dialog, DWLP_USER))
        return FALSE;
    SourceTest& test = stateOf(dialog);
    switch (message) {
    case kTestNews:
        onNews(dialog, test);
        return TRUE;
    case kTestDone:
        onDone(dialog, test);
        return TRUE;
    case WM_COMMAND:
        onCommand(dialog, test, LOWORD(wParam));
        return TRUE;
    case WM_ACTIVATE:
        onActivate(dialog, test, wParam, lParam);
        return FALSE;
    case WM_DESTROY:
        test.run.letGo();
        SetWindowLongPtrW(dialog, DWLP_USER, 0);
        return FALSE;
    }
    return FALSE;
}

INT_PTR CALLBACK sourceTestProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return withoutExceptions([&] { return handleMessage(dialog, message, wParam, lParam); });
}

}  // namespace

void testSource(HWND page, int presetIndex)
{
    const INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    SourceTest test{page, presetIndex, {}, {}};
    DialogBoxParamW(app_instance, MAKEINTRESOURCEW(IDD_SOURCE_TEST), page, sourceTestProc,
                    reinterpret_cast<LPARAM>(&test));
}

void endSourceTest(HWND owner)
{
    cancelOwnedDialog(owner, sourceTestProc);
}
