// SPDX-License-Identifier: GPL-3.0-or-later
// The receive dispatcher of the real main window (TMainForm::CommPortReceiveData) on Qt's
// offscreen platform, in every transfer mode, with arbitrary chunks.
//
// Input: byte 0 chooses how the chunk is received, the rest is the chunk (cut to the 1024 bytes
// the serial component delivers at most). It reaches the dispatcher in a heap block of exactly its
// length, so a decoder that reads past the received bytes is caught.
//   bits 0-2  TransferMode (value modulo 6)
//   bit 3     the port is open on a pseudo-terminal: the decoders' close-and-reopen succeeds and the
//             continuations run (next request, next write frame, end messages). Otherwise the port
//             cannot be opened and every continuation ends at the failed reopen, as on a vanished cable.
//   bit 4     the same chunk arrives again while the first message box of this input is open, as a
//             late repeated reply would (modal boxes keep dispatching received data): once, or with
//   bit 5     set, more times than the window lets wait, as from a peer that streams replies.
//
// Whatever the input, a message box never opens inside another one, and when the dispatcher has
// returned no chunk is left waiting: either would abort.
//
// The window is created once and keeps its state from input to input, as it does in a session.
// Message boxes, the modal windows and the fixed waits go through the program's seam, which
// answers every box at once and lets no wait take time.
#include "FuzzFolder.h"
#include "common/Catalogue.h"
#include "ui/Main.h"
#include "ui/Report.h"
#include "ui/Seam.h"

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <optional>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace zelbor {

namespace {

namespace fs = std::filesystem;

QApplication* g_app = nullptr;
TMainForm* g_form = nullptr;
int g_master = -1;    // far end of the pseudo-terminal
int g_slaveKeep = -1; // held open so that the window's close-and-reopen never hangs the line up
std::string g_ptyPath;
const char* const kMissingPort = "/nonexistent/zelbor-fuzz-port";

// The chunk to deliver again from inside the first message box, when bit 4 asks for it.
const std::uint8_t* g_nestedChunk = nullptr;
std::uint16_t g_nestedLength = 0;
int g_nestedTimes = 0;
int g_openBoxes = 0;

void Drain()
{
    std::uint8_t buffer[4096];
    while (read(g_master, buffer, sizeof buffer) > 0) {
    }
}

int AnswerMessage(const MessageRequest& request)
{
    if (++g_openBoxes > 1)
        std::abort(); // a handler ran inside the message box of another one
    if (g_nestedChunk) {
        const std::uint8_t* chunk = std::exchange(g_nestedChunk, nullptr);
        for (int i = 0; i < g_nestedTimes; ++i)
            g_form->CommPortReceiveData(g_form->CommPort, chunk, g_nestedLength);
    }
    --g_openBoxes;
    return request.flags == zelbor::mbYesNo ? zelbor::idYes : zelbor::idOk;
}

// The fixed waits before sending (50 and 80 ms) would only slow the search down: they return at
// once, in their place among the steps. The serial component's own threads still sleep for real.
class FuzzSeam : public TSeam {
public:
    void Wait(std::chrono::milliseconds) override {}
    int ShowMessage(const MessageRequest& request) override { return AnswerMessage(request); }
    std::optional<QString> RunFileDialog(QFileDialog&) override { return std::nullopt; }
    int RunDialog(QDialog&) override { return 0; }
    void ShowStartupWarning(TMainForm&) override {}
    void ShowHelpTopic(const std::string&, const std::string&) override {}
    void ShowAboutWindow() override {}
    void OpenUrl(const QUrl&) override {}
};

void SetPortOpen(bool open)
{
    zelbor::TComm& port = g_form->CommPort;
    if (open) {
        if (port.ComHandle() == 0 || port.CommName() != g_ptyPath) {
            port.ClosePort();
            port.SetCommName(g_ptyPath);
            port.SetBaudRate(1200);
            port.OpenPort();
        }
    } else {
        port.ClosePort();
        port.SetCommName(kMissingPort);
    }
}

} // namespace

} // namespace zelbor

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    using namespace zelbor;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "fuzz_window_dispatch";
    static char* argv[] = {name, nullptr};
    g_app = new QApplication(argc, argv);

    // A shipping folder of its own: the window reads its texts and the default profile there.
    const fs::path ship = zelbor::fuzz::ScratchFolder() / "ship";
    fs::create_directories(ship);
    const fs::path resources(ZELBOR_RESOURCES_DIR);
    fs::copy(resources / "Languages", ship / "Languages", fs::copy_options::recursive);
    fs::copy(resources / "Profiles", ship / "Profiles", fs::copy_options::recursive);
    zelbor::SetExecutableFolder(ship);

    static FuzzSeam seam;
    SetSeam(&seam);

    char path[256] = {};
    if (openpty(&g_master, &g_slaveKeep, path, nullptr, nullptr) != 0)
        std::abort();
    g_ptyPath = path;
    termios t{};
    tcgetattr(g_slaveKeep, &t);
    cfmakeraw(&t);
    tcsetattr(g_slaveKeep, TCSANOW, &t);
    fcntl(g_master, F_SETFL, fcntl(g_master, F_GETFL) | O_NONBLOCK);

    g_form = new TMainForm;
    g_form->FormShow();
    // No worker thread may outlive the run.
    std::atexit([] { g_form->CommPort.ClosePort(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace zelbor;
    if (size == 0)
        return 0;
    const std::uint8_t control = data[0];
    const std::size_t length = std::min<std::size_t>(size - 1, 1024);
    // Exactly the received bytes, nothing after them.
    const auto chunk = std::make_unique<std::uint8_t[]>(length);
    std::copy_n(data + 1, length, chunk.get());

    if (!Guarded([&] { SetPortOpen(control & 0x08); }))
        std::abort(); // the pseudo-terminal must open: without it the input tests nothing
    g_form->TransferMode = static_cast<TMainForm::TTransferMode>((control & 0x07) % 6);

    std::unique_ptr<std::uint8_t[]> nested;
    if (control & 0x10) {
        nested = std::make_unique<std::uint8_t[]>(length);
        std::copy_n(chunk.get(), length, nested.get());
        g_nestedChunk = nested.get();
        g_nestedLength = static_cast<std::uint16_t>(length);
        g_nestedTimes = (control & 0x20) ? static_cast<int>(3 * TMainForm::kMaxPendingChunks) : 1;
    }

    g_form->CommPortReceiveData(g_form->CommPort, chunk.get(), static_cast<std::uint16_t>(length));
    g_nestedChunk = nullptr;
    if (g_form->PendingChunkCount() != 0)
        std::abort(); // a chunk left waiting would be handled by the next, unrelated delivery

    QCoreApplication::processEvents();
    Drain();
    return 0;
}
