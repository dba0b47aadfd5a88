#include "core/acquire/Acquisition.h"

#include "core/acquire/DownloadImage.h"
#include "core/acquire/StatusTexts.h"
#include "core/decode/ImageDecoder.h"
#include "core/net/HttpClient.h"

namespace kestrix {

Acquisition::Acquisition(AcquisitionView& view, HttpClient& client, FrameStore& frameStore,
                         const Clock& clock, const FormatSettings& fs, const AppSettings& settings,
                         const LinkInfo& currentLink)
    : lastImageTime(clock.now()), view_(view), client_(client), store_(frameStore), clock_(clock),
      fs_(fs), settings_(settings), currentLink_(currentLink) {}

void Acquisition::loadImage() {
    BitmapList gifFrames;
    if (!fetchImage(fetchedImage, gifFrames)) {
        if (!report_.error.empty())
            view_.fetchFinished(report_);
        return;
    }
    duplicate = bitmapsEqual(lastImage, fetchedImage);
    report_.duplicate = duplicate;
    if (!duplicate) {
        view_.showImage(fetchedImage);
        lastImage = fetchedImage;
        view_.showImageInfo();
        if (view_.captureOptions().capture)
            captureImage(gifFrames);
        lastImageTime = clock_.now();
    }
    view_.fetchFinished(report_);
}

bool Acquisition::fetchImage(Bitmap& target, BitmapList& frames) {
    if (loading)
        return false;
    report_ = FetchReport{};
    view_.setText(StatusField::Error, "");
    view_.setText(StatusField::Reading, "0");
    view_.showDownloadShare(0);
    loading = true;
    received = false;
    loadTicks = 0;
    stallTicks = 0;
    lastByteCount = 0;
    stallCancelled = false;
    try {
        const std::string url = view_.expandedAddress();
        applyConnectionOptions(client_, connectionOptions(settings_));
        downloadImage(client_, url, target, &frames);
        // Unchanged on the server: the duplicate test sees the last image again.
        if (client_.notModified())
            target = lastImage;
        received = true;
        urlChanged = url != lastUrl;
        lastUrl = url;
    } catch (const std::exception& e) {
        loading = false;
        view_.showDownloadShare(0);
        report_.error = e.what();
        report_.timedOut = stallCancelled;
        report_.bytes = client_.bytesReceived();
        view_.setText(StatusField::Error, e.what());
        return false;
    }
    loading = false;
    view_.showDownloadShare(0);
    report_.ok = true;
    report_.bytes = static_cast<int64_t>(client_.body().size());
    report_.width = target.width();
    report_.height = target.height();
    return true;
}

int Acquisition::addFrame(const Bitmap& bitmap) {
    const int index = store_.addTimed(bitmap, clock_.now());
    if (report_.firstCaptured < 0 || index < report_.firstCaptured)
        report_.firstCaptured = index;
    report_.lastCaptured = index;
    return index;
}

void Acquisition::captureImage(BitmapList& gifFrames) {
    int index;
    if (view_.captureOptions().gifAnimations && gifFrames.count() > 0) {
        index = captureGifFrames(gifFrames);
    } else {
        index = addFrame(fetchedImage);
        lastWasAnimation = false;
    }
    showTimeData(index);
    view_.setMaxFrames(store_.count());
    view_.setFrameIndex(view_.maxFrames() - 1);
}

int Acquisition::captureGifFrames(BitmapList& gifFrames) {
    const CaptureOptions options = view_.captureOptions();
    int index;
    if (!urlChanged && lastWasAnimation && options.incremental) {
        index = addFrame(*gifFrames.get(gifFrames.count() - 1));
    } else {
        if (options.clearOld) {
            store_.clear();
            report_.firstCaptured = -1;
        }
        index = -1;
        for (int32_t i = 0; i < gifFrames.count(); ++i)
            index = addFrame(*gifFrames.get(i));
    }
    lastWasAnimation = true;
    return index;
}

void Acquisition::abortLoad() {
    client_.cancel();
}

void Acquisition::onClockTick() {
    showUtcTime();
    updateStatus();
    autoLoadStep();
    view_.setText(StatusField::Age, formatAge(clock_.now() - lastImageTime));
    if (!playing && view_.loopDown())
        playAnimation();
}

void Acquisition::showUtcTime() {
    view_.setText(StatusField::GMT, utcTimeText(clock_.utcNow()));
}

void Acquisition::updateStatus() {
    std::string text;
    bool fetching = false;
    if (loading) {
        const int32_t n = client_.bytesReceived();
        if (n > lastByteCount)
            stallTicks = 0;
        lastByteCount = n;
        ++stallTicks;
        ++loadTicks;
        // Repeated at every later tick until the transfer has ended.
        if (stallTicks > settings_.timeOut) {
            stallCancelled = true;
            client_.cancel();
        }
        text = loadingText(loadTicks);
        fetching = true;
    } else if (received) {
        text = duplicate ? "Image Received - Duplicate" : "Image Received - New";
    }
    view_.setStatusColor(fetching);
    view_.setText(StatusField::Status, text);
}

void Acquisition::autoLoadStep() {
    if (!view_.autoLoadDown() || loading || playing)
        return;
    --countdown;
    if (countdown <= 0) {
        countdown = currentLink_.delay;
        loadImage();
    }
    view_.setText(StatusField::TimeOut, std::to_string(countdown));
}

} // namespace kestrix
