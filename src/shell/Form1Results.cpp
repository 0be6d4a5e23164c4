// Copy and Save under the Whois Lookup page's answer.

#include <QPlainTextEdit>

#include "shell/Form1.h"
#include "shell/RdapView.h"
#include "shell/ResultButtons.h"
#include "shell/WhoisView.h"

namespace norvik::shell {

ResultButtons* Form1::makeWhoisButtons() {
    SetHoldsResult(whoisresult_, false);
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
