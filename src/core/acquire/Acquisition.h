// The acquisition cycle: the one-second clock with its countdown, status and stall time-out; the
// loader that fetches, decodes, tells new images from repeats and captures them; and the frame
// display and playback of the captured animation. All of it runs on the user-interface thread;
// a fetch and a playback pass keep the interface alive through the view, so ticks and commands
// can arrive in the middle of them. `loading` and `playing` guard against re-entry.
#pragma once

#include "core/acquire/AcquisitionView.h"
#include "core/frames/BitmapList.h"
#include "core/links/CurrentLink.h"
#include "core/settings/AppSettings.h"
#include "core/util/Clock.h"
#include "core/util/FormatSettings.h"

#include <string>

namespace kestrix {

class HttpClient;

class Acquisition {
public:
    Acquisition(AcquisitionView& view, HttpClient& client, FrameStore& frameStore,
                const Clock& clock, const FormatSettings& fs, const AppSettings& settings,
                const LinkInfo& currentLink);

    // Loader (fetch, duplicate test, capture).
    void loadImage();
    bool fetchImage(Bitmap& target, BitmapList& frames);
    void captureImage(BitmapList& gifFrames);
    int captureGifFrames(BitmapList& gifFrames);
    // "Abort Load": cancels a transfer in progress; without one it changes nothing.
    void abortLoad();

    // The one-second clock.
    void onClockTick();
    void updateStatus();
    void autoLoadStep();
    void showUtcTime();

    // Frames on display and playback.
    void showFrame(int index);
    void showTimeData(int index);
    void eraseAnimation();
    void deleteFrame(int index);
    void deleteCurrentFrame();
    void playAnimation();
    void abortAnimation();

    // Acquisition state.
    bool loading = false;
    bool received = false;
    bool duplicate = false;
    int32_t loadTicks = 0;
    int32_t stallTicks = 0;
    bool stallCancelled = false; // this fetch was cancelled by the stall time-out
    int32_t lastByteCount = 0;
    DateTime lastImageTime = 0;
    // Loader state.
    std::string lastUrl;
    bool urlChanged = true;
    bool lastWasAnimation = false;
    // Clock and playback state.
    int32_t countdown = 0;
    bool playing = false;
    bool playAbort = false;

    Bitmap lastImage;    // the last image judged new: the duplicate test's reference
    Bitmap fetchedImage; // every fetch decodes into it

private:
    int addFrame(const Bitmap& bitmap);
    std::vector<DateTime> frameTimes() const;

    AcquisitionView& view_;
    HttpClient& client_;
    FrameStore& store_;
    const Clock& clock_;
    const FormatSettings& fs_;
    const AppSettings& settings_;
    const LinkInfo& currentLink_;
    FetchReport report_; // of the fetch in progress
};

} // namespace kestrix
