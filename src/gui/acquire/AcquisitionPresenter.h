// Binds the acquisition cycle to the window: it is the cycle's view (fields, frame counter,
// capture options, waiting with the event loop), owns the HTTP client and the one-second clock,
// and wires the tool bar, address bar and animation buttons to the cycle's commands.
#pragma once

#include "core/acquire/Acquisition.h"
#include "core/net/HttpClient.h"

#include <QObject>
#include <functional>
#include <memory>

class QTimer;

namespace kestrix::gui {

class AddressBarPanel;
class AnimationPage;
class PictureDisplay;
class StatusBarPanel;
class ToolBarPanel;
class PicturePanel;

// What the presenter needs from the window beyond the widgets.
struct WindowHooks {
    std::function<std::string()> expandAddress;
    std::function<void()> showImageInfo;
    std::function<void()> pushAddressHistory;
    std::function<bool(const std::string&)> confirm;
    // Runs a command, showing a failure in the error box.
    std::function<void(const std::function<void()>&)> runCommand;
    // Shows the share of a fetch received, 0..100, on the window's gauge.
    std::function<void(int)> downloadShare;
};

struct AcquisitionWidgets {
    ToolBarPanel& toolBar;
    AddressBarPanel& addressBar;
    StatusBarPanel& statusBar;
    AnimationPage& animation;
    PicturePanel& picture;
};

class AcquisitionPresenter : public QObject, public AcquisitionView {
    Q_OBJECT
public:
    AcquisitionPresenter(AcquisitionWidgets widgets, PictureDisplay& display, WindowHooks hooks,
                         FrameStore& frameStore, const Clock& clock, const FormatSettings& fs,
                         const AppSettings& settings, const LinkInfo& currentLink,
                         QObject* parent = nullptr);
    ~AcquisitionPresenter() override;

    Acquisition& cycle() { return *acquisition_; }
    // Where every captured frame is written as fetched; "" writes none.
    void setFrameFolder(std::string folder) { frameFolder_ = std::move(folder); }
    HttpClient& httpClient() { return client_; }
    QTimer* clockTimer() const { return timer_; }
    // "Manual Load" and "Go": the address to the history, then a fetch.
    void manualLoad();

    std::string expandedAddress() override;
    void showImage(Bitmap& bitmap) override;
    void showMotionFrame(int index) override;
    void showImageInfo() override;
    void setText(StatusField field, const std::string& text) override;
    void setStatusColor(bool fetching) override;
    int frameIndex() const override;
    void setFrameIndex(int index) override;
    int maxFrames() const override;
    void setMaxFrames(int count) override;
    CaptureOptions captureOptions() const override;
    bool autoLoadDown() const override;
    bool loopDown() const override;
    void releaseLoop() override;
    double framesPerSecond() const override;
    bool motionDetection() const override;
    void wait(int milliseconds) override;
    bool confirm(const std::string& text) override;

private:
    void showDownloadShare(int percent) override;
    void fetchFinished(const FetchReport& report) override;
    void wireButtons();
    void wireKeys();

    AcquisitionWidgets w_;
    PictureDisplay& display_;
    WindowHooks hooks_;
    FrameStore& store_;
    const FormatSettings& fs_;
    HttpClient client_;
    std::unique_ptr<Acquisition> acquisition_;
    std::string frameFolder_;
    QTimer* timer_;
};

} // namespace kestrix::gui
