#include "acquire/Acquisition.h"

#include "acquire/DownloadImage.h"
#include "acquire/StatusTexts.h"
#include "decode/ImageDecoder.h"
#include "net/HttpClient.h"

namespace kestrix {

Acquisition::Acquisition(AcquisitionView& view, THttpClient& client, TBitmapListEx& frameStore,
                         const Clock& clock, const FormatSettings& fs,
                         const AppSettings& settings, const TURLInfo& currentLink)
    : LastImageTime(clock.now()), view_(view), client_(client), store_(frameStore),
      clock_(clock), fs_(fs), settings_(settings), currentLink_(currentLink) {}

void Acquisition::LoadImage() {
    TBitmapList gifFrames;
    if (!FetchImage(FetchedImage, gifFrames)) {
        if (!report_.error.empty())
            view_.fetchFinished(report_);
        return;
    }
    Duplicate = BitmapsEqual(LastImage, FetchedImage);
    report_.duplicate = Duplicate;
    if (!Duplicate) {
        view_.showImage(FetchedImage);
        LastImage = FetchedImage;
        view_.showImageInfo();
        if (view_.captureOptions().capture)
            CaptureImage(gifFrames);
        LastImageTime = clock_.now();
    }
    view_.fetchFinished(report_);
}

bool Acquisition::FetchImage(Bitmap& target, TBitmapList& frames) {
    if (Loading)
        return false;
    report_ = FetchReport{};
    view_.setText(StatusField::Error, "");
    view_.setText(StatusField::Reading, "0");
    Loading = true;
    Received = false;
    LoadTicks = 0;
    StallTicks = 0;
    LastByteCount = 0;
    try {
        const std::string url = view_.expandedAddress();
        DownloadImage(client_, url, target, &frames);
        Received = true;
        URLChanged = url != LastURL;
        LastURL = url;
    } catch (const std::exception& e) {
        Loading = false;
        report_.error = e.what();
        report_.bytes = client_.BytesReceived();
        view_.setText(StatusField::Error, e.what());
        return false;
    }
    Loading = false;
    report_.ok = true;
    report_.bytes = static_cast<int64_t>(client_.Body().size());
    report_.width = target.width();
    report_.height = target.height();
    return true;
}

int Acquisition::addFrame(const Bitmap& bitmap) {
    const int index = store_.AddTimed(bitmap, clock_.now());
    if (report_.firstCaptured < 0 || index < report_.firstCaptured)
        report_.firstCaptured = index;
    report_.lastCaptured = index;
    return index;
}

void Acquisition::CaptureImage(TBitmapList& gifFrames) {
    int index;
    if (view_.captureOptions().gifAnimations && gifFrames.Count() > 0) {
        index = CaptureGIFFrames(gifFrames);
    } else {
        index = addFrame(FetchedImage);
        LastWasAnimation = false;
    }
    ShowTimeData(index);
    view_.setMaxFrames(store_.Count());
    view_.setFrameIndex(view_.maxFrames() - 1);
}

int Acquisition::CaptureGIFFrames(TBitmapList& gifFrames) {
    const CaptureOptions options = view_.captureOptions();
    int index;
    if (!URLChanged && LastWasAnimation && options.incremental) {
        index = addFrame(*gifFrames.Get(gifFrames.Count() - 1));
    } else {
        if (options.clearOld) {
            store_.Clear();
            report_.firstCaptured = -1;
        }
        index = -1;
        for (int32_t i = 0; i < gifFrames.Count(); ++i)
            index = addFrame(*gifFrames.Get(i));
    }
    LastWasAnimation = true;
    return index;
}

void Acquisition::AbortLoad() { client_.Cancel(); }

void Acquisition::Timer1Timer() {
    ShowUTCTime();
    UpdateStatus();
    AutoLoadStep();
    view_.setText(StatusField::Age, FormatAge(clock_.now() - LastImageTime));
    if (!Playing && view_.loopDown())
        PlayAnimation();
}

void Acquisition::ShowUTCTime() { view_.setText(StatusField::GMT, utcTimeText(clock_.utcNow())); }

void Acquisition::UpdateStatus() {
    std::string text;
    bool fetching = false;
    if (Loading) {
        const int32_t n = client_.BytesReceived();
        if (n > LastByteCount)
            StallTicks = 0;
        LastByteCount = n;
        ++StallTicks;
        ++LoadTicks;
        // Repeated at every later tick until the transfer has ended.
        if (StallTicks > settings_.TimeOut)
            client_.Cancel();
        text = loadingText(LoadTicks);
        fetching = true;
    } else if (Received) {
        text = Duplicate ? "Image Received - Duplicate" : "Image Received - New";
    }
    view_.setStatusColor(fetching);
    view_.setText(StatusField::Status, text);
}

void Acquisition::AutoLoadStep() {
    if (!view_.autoLoadDown() || Loading || Playing)
        return;
    --Countdown;
    if (Countdown <= 0) {
        Countdown = currentLink_.Delay;
        LoadImage();
    }
    view_.setText(StatusField::TimeOut, std::to_string(Countdown));
}

} // namespace kestrix
