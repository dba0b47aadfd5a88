#include "cli/AlertOptions.h"

#include "core/util/Duration.h"

namespace kestrix::cli {

namespace {

const CLI::Validator kDuration(
    [](const std::string& text) {
        try {
            parseDuration(text);
        } catch (const std::exception& e) {
            return std::string(e.what());
        }
        return std::string();
    },
    "DURATION");

const CLI::Validator kWebAddress(
    [](const std::string& text) {
        if (text.rfind("http://", 0) == 0 || text.rfind("https://", 0) == 0)
            return std::string();
        return "takes an http:// or https:// address, not " + text;
    },
    "URL");

} // namespace

void addAlertOptions(CLI::App& command, AlertOptions& o) {
    const std::string only = " (with --links)";
    command
        .add_option("--down-after", o.downAfter,
                    "A camera is down after this many failed fetches in a row" + only)
        ->default_val(3)
        ->check(CLI::Range(1, 1000));
    command
        .add_option("--stale-after", o.staleAfter,
                    "A camera that answers is stale after this long without a new picture (90s, "
                    "30m, 1h, 2d)" +
                        only)
        ->default_val("1h")
        ->check(kDuration);
    command
        .add_option("--webhook", o.webhooks,
                    "POST each change of a camera's state (up, down, stale) as JSON to this "
                    "address; may be repeated" +
                        only)
        ->allow_extra_args(false)
        ->check(kWebAddress);
    command.add_option("--webhook-secret", o.webhookSecret,
                       "Sign each webhook body with HMAC-SHA256 in the header "
                       "X-Kestrix-Signature-256" +
                           only);
}

CameraRules cameraRules(const AlertOptions& o) {
    CameraRules rules;
    rules.downAfter = o.downAfter;
    rules.staleAfter = parseDuration(o.staleAfter);
    return rules;
}

WebhookSettings webhookSettings(const AlertOptions& o, const ConnectionOptions& connection) {
    WebhookSettings s;
    s.urls = o.webhooks;
    s.secret = o.webhookSecret;
    s.connection = connection;
    return s;
}

} // namespace kestrix::cli
