// The acquisition cycle: the one-second clock with its countdown, status and stall time-out; the
// loader that fetches, decodes, tells new images from repeats and captures them; and the frame
// display and playback of the captured animation. All of it runs on the user-interface thread;
// a fetch and a playback pass keep the interface alive through the view, so ticks and commands
// can arrive in the middle of them. `Loading` and `Playing` guard against re-entry.
#pragma once

#include "acquire/AcquisitionView.h"
#include "frames/BitmapList.h"
#include "links/CurrentLink.h"
#include "settings/AppSettings.h"
#include "util/Clock.h"
#include "util/FormatSettings.h"

#include <string>

namespace kestrix {

class THttpClient;

class Acquisition {
public:
    Acquisition(AcquisitionView& view, THttpClient& client, TBitmapListEx& frameStore,
                const Clock& clock, const FormatSettings& fs, const AppSettings& settings,
                const TURLInfo& currentLink);

    // Loader (fetch, duplicate test, capture).
    void LoadImage();
    bool FetchImage(Bitmap& target, TBitmapList& frames);
    void CaptureImage(TBitmapList& gifFrames);
    int CaptureGIFFrames(TBitmapList& gifFrames);
    // "Abort Load": cancels a transfer in progress; without one it changes nothing.
    void AbortLoad();

    // The one-second clock.
    void Timer1Timer();
    void UpdateStatus();
    void AutoLoadStep();
    void ShowUTCTime();

    // Frames on display and playback.
    void ShowFrame(int index);
    void ShowTimeData(int index);
    void EraseAnimation();
    void DeleteFrame(int index);
    void DeleteCurrentFrame();
    void PlayAnimation();
    void AbortAnimation();

    // Acquisition state.
    bool Loading = false;
    bool Received = false;
    bool Duplicate = false;
    int32_t LoadTicks = 0;
    int32_t StallTicks = 0;
    int32_t LastByteCount = 0;
    TDateTime LastImageTime = 0;
    // Loader state.
    std::string LastURL;
    bool URLChanged = true;
    bool LastWasAnimation = false;
    // Clock and playback state.
    int32_t Countdown = 0;
    bool Playing = false;
    bool PlayAbort = false;

    Bitmap LastImage;    // the last image judged new: the duplicate test's reference
    Bitmap FetchedImage; // every fetch decodes into it

private:
    int addFrame(const Bitmap& bitmap);
    std::vector<TDateTime> frameTimes() const;

    AcquisitionView& view_;
    THttpClient& client_;
    TBitmapListEx& store_;
    const Clock& clock_;
    const FormatSettings& fs_;
    const AppSettings& settings_;
    const TURLInfo& currentLink_;
    FetchReport report_; // of the fetch in progress
};

} // namespace kestrix
