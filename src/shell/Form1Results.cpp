// Copy and Save under the TraceRoute page's results and the Whois Lookup
// page's answer.

#include <QPlainTextEdit>

#include "shell/Form1.h"
#include "shell/RdapView.h"
#include "shell/ResultButtons.h"
#include "shell/WhoisView.h"

namespace norvik::shell {

ResultButtons* Form1::makeResultButtons(bool trace) {
    SetHoldsResult(trace ? static_cast<QWidget*>(trace_) : whoisresult_, false);
    if (trace) {
        return new ResultButtons(
            QStringLiteral("trace"), trace_,
            [this](exports::Format f) {
                exports::TraceDocument doc = traceResults_;
                doc.text = ShownText(trace_->toPlainText()).toStdString();
                // Shown again, the page has put its own words in the box:
                // the last trace's hops are no longer what it shows.
                if (doc.text.rfind("Tracing Route to ", 0) != 0) doc.hops.clear();
                return exports::Render(f, doc);
            },
            QStringLiteral("trace"), &boxes_, this);
    }
    return new ResultButtons(
        QStringLiteral("whois"), whoisresult_,
        [this](exports::Format f) {
            // The last lookup's answer as the box shows it, asked by RDAP or on port 43.
            if (const auto rdap = rdapView_ ? rdapView_->document() : std::nullopt)
                return exports::Render(f, *rdap);
            if (!whoisView_) return std::string();
            return exports::Render(f, whoisView_->document());
        },
        QStringLiteral("whois"), &boxes_, this);
}

}  // namespace norvik::shell
