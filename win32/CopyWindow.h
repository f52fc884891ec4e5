#pragma once

// The copy window (FCopyWin) on the Win32 API, from the table generated from resources/CopyWin.ui:
// each showing runs one pass (frontend::CopyWindowLogic) and shows its log, failure lines in red;
// its button aborts the pass after asking, or closes the window once the pass is done. Closing
// it only hides it. The worker's announcements reach it through frontend::AnnouncementQueue and
// one posted message at a time.

#include "CopyWindowLogic.h"
#include "FileSystem.h"
#include "Form.h"
#include "PassAnnouncements.h"
#include "SyncPass.h"

#include <functional>
#include <memory>
#include <string>
#include <windows.h>

namespace doplet::win32 {

class CopyWindow final : private frontend::CopyWindowSeams {
public:
    // `passInput` gives the main window's folder texts and lists as they stand.
    CopyWindow(std::shared_ptr<FileSystem> fs, std::function<PassInput()> passInput);
    CopyWindow(const CopyWindow&) = delete;
    CopyWindow& operator=(const CopyWindow&) = delete;
    CopyWindow(CopyWindow&&) = delete;
    CopyWindow& operator=(CopyWindow&&) = delete;
    ~CopyWindow() override = default;

    // Registers the class and creates the window with its controls, hidden. False when refused.
    bool Create(HINSTANCE instance);
    // A plain show: a hidden window becomes visible and starts a pass; a visible one only comes
    // to the front. A failure of the showing is shown in the error box; the window shows.
    void Show();

    [[nodiscard]] bool passRunning() const { return logic_.passRunning(); }
    // Closing the program during a pass: the pass stops after its current file; `whenEnded`
    // runs once its worker has ended (at once when none runs).
    void StopPass(std::function<void()> whenEnded) { logic_.stopPass(std::move(whenEnded)); }

private:
    friend LRESULT CALLBACK WindowProcedure<CopyWindow>(HWND window, UINT message, WPARAM w,
                                                        LPARAM l);
    LRESULT Handle(UINT message, WPARAM w, LPARAM l);
    void RunOperation(const std::function<void()>& operation) const;
    void ApplyAnnouncements();
    void DrawLine(const DRAWITEMSTRUCT& item) const;
    void LogMenu(LPARAM at);
    [[nodiscard]] std::wstring LogText(const wchar_t* lineEnd) const;
    void CopyAllClick() const;
    void SaveLogClick();

    PassInput passInput() override;
    std::shared_ptr<WorkerControl> startWorker(PassInput input) override;
    void clearLog() override;
    void appendLines(const std::vector<LogLine>& lines) override;
    void setButtonCaption(std::string_view caption) override;
    bool askAbort() override;
    void closeWindow() override;
    void endWithFatal(const std::string& errorClass, const std::string& message) override;

    HWND window_ = nullptr;
    HWND list_ = nullptr;
    HWND button_ = nullptr;
    HWND focus_ = nullptr; // the control that had the keyboard when the window was left
    Form form_;
    std::shared_ptr<FileSystem> fs_;
    std::function<PassInput()> passInput_;
    frontend::CopyWindowLogic logic_{*this};
    std::shared_ptr<frontend::AnnouncementQueue> host_; // the latest pass's
};

} // namespace doplet::win32
