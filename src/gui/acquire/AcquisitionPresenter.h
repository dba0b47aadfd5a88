// Binds the acquisition cycle to the window: it is the cycle's view (fields, frame counter,
// capture options, waiting with the event loop), owns the HTTP client and the one-second clock
// Timer1, and wires the tool bar, address bar and animation buttons to the cycle's commands.
#pragma once

#include "acquire/Acquisition.h"
#include "net/HttpClient.h"

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
                         TBitmapListEx& frameStore, const Clock& clock, const FormatSettings& fs,
                         const AppSettings& settings, const TURLInfo& currentLink,
                         QObject* parent = nullptr);
    ~AcquisitionPresenter() override;

    Acquisition& cycle() { return *acquisition_; }
    THttpClient& HttpClient1() { return client_; }
    QTimer* Timer1() const { return timer_; }
    // "Manual Load" and "Go": the address to the history, then a fetch.
    void ManualLoad();

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
    void wireButtons();

    AcquisitionWidgets w_;
    PictureDisplay& display_;
    WindowHooks hooks_;
    TBitmapListEx& store_;
    const FormatSettings& fs_;
    THttpClient client_;
    std::unique_ptr<Acquisition> acquisition_;
    QTimer* timer_;
};

} // namespace kestrix::gui
