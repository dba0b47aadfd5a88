#include "web/Metrics.h"

#include "core/util/JsonText.h"

#include <cstdio>
#include <map>

namespace kestrix::web {

namespace {

constexpr const char* kStates[] = {"up", "down", "stale"};

// Numbers as Prometheus reads them: integers whole, others with enough digits.
std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

class Exposition {
public:
    void family(const char* name, const char* type, const char* help) {
        text_ +=
            std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
    }
    void sample(const std::string& name, const std::string& labels, double value) {
        text_ += name + (labels.empty() ? "" : "{" + labels + "}") + " " + number(value) + "\n";
    }
    void histogram(const char* name, const char* help, const Histogram& h) {
        family(name, "histogram", help);
        for (size_t i = 0; i < h.bounds.size(); ++i)
            sample(std::string(name) + "_bucket", "le=\"" + number(h.bounds[i]) + "\"",
                   static_cast<double>(h.counts[i]));
        sample(std::string(name) + "_bucket", "le=\"+Inf\"", static_cast<double>(h.counts.back()));
        sample(std::string(name) + "_sum", "", h.sum);
        sample(std::string(name) + "_count", "", static_cast<double>(h.counts.back()));
    }
    std::string take() { return std::move(text_); }

private:
    std::string text_;
};

std::string linkLabel(const LinkStatus& s) {
    return "link=\"" + prometheusLabel(s.link) + "\"";
}

void linkFamilies(Exposition& out, const std::vector<LinkStatus>& links) {
    out.family("kestrix_fetches_total", "counter", "Fetches by link and result.");
    for (const LinkStatus& s : links) {
        out.sample("kestrix_fetches_total", linkLabel(s) + ",result=\"new\"",
                   static_cast<double>(s.newPictures));
        out.sample("kestrix_fetches_total", linkLabel(s) + ",result=\"duplicate\"",
                   static_cast<double>(s.duplicates));
        out.sample("kestrix_fetches_total", linkLabel(s) + ",result=\"error\"",
                   static_cast<double>(s.errors));
    }
    out.family("kestrix_new_pictures_total", "counter", "New pictures archived, by link.");
    for (const LinkStatus& s : links)
        out.sample("kestrix_new_pictures_total", linkLabel(s), static_cast<double>(s.newPictures));
    out.family("kestrix_received_bytes_total", "counter", "Bytes of bodies received, by link.");
    for (const LinkStatus& s : links)
        out.sample("kestrix_received_bytes_total", linkLabel(s), static_cast<double>(s.bytes));
    out.family("kestrix_last_new_picture_timestamp_seconds", "gauge",
               "When the link's last new picture arrived (0: none since the start).");
    for (const LinkStatus& s : links)
        out.sample("kestrix_last_new_picture_timestamp_seconds", linkLabel(s),
                   static_cast<double>(s.lastNew));
    out.family("kestrix_link_state", "gauge", "1 for the state each link's camera is in.");
    for (const LinkStatus& s : links)
        for (const char* state : kStates)
            out.sample("kestrix_link_state", linkLabel(s) + ",state=\"" + state + "\"",
                       s.camera == state ? 1 : 0);
}

} // namespace

std::string prometheusLabel(const std::string& value) {
    std::string out;
    for (const char c : toValidUtf8(value)) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string prometheusMetrics(const WatchSnapshot& snapshot) {
    Exposition out;
    linkFamilies(out, snapshot.links);
    std::map<std::string, int> counts;
    for (const LinkStatus& s : snapshot.links)
        ++counts[s.camera];
    out.family("kestrix_links", "gauge", "Links by the state of their camera.");
    for (const char* state : kStates)
        out.sample("kestrix_links", std::string("state=\"") + state + "\"", counts[state]);
    const WatchFigures& w = snapshot.watch;
    out.histogram("kestrix_fetch_duration_seconds", "How long fetches took.", w.fetchSeconds);
    out.histogram("kestrix_fetch_start_lag_seconds",
                  "How late fetches started after they were due.", w.startLagSeconds);
    out.family("kestrix_fetches_in_flight", "gauge", "Transfers running now.");
    out.sample("kestrix_fetches_in_flight", "", w.busy);
    out.family("kestrix_fetch_slots", "gauge", "Transfers that may run at once.");
    out.sample("kestrix_fetch_slots", "", w.slots);
    const RetentionFigures& r = snapshot.retention;
    out.family("kestrix_archive_files", "gauge", "Pictures in the archive.");
    out.sample("kestrix_archive_files", "", static_cast<double>(r.files));
    out.family("kestrix_archive_bytes", "gauge", "Bytes of the pictures in the archive.");
    out.sample("kestrix_archive_bytes", "", static_cast<double>(r.bytes));
    out.family("kestrix_retention_deleted_files_total", "counter",
               "Pictures retention deleted since the start.");
    out.sample("kestrix_retention_deleted_files_total", "", static_cast<double>(r.deletedFiles));
    out.family("kestrix_retention_deleted_bytes_total", "counter",
               "Bytes retention deleted since the start.");
    out.sample("kestrix_retention_deleted_bytes_total", "", static_cast<double>(r.deletedBytes));
    return out.take();
}

} // namespace kestrix::web
