#pragma once

#include "whois/WhoisLookup.h"

namespace norvik::whois {

// A lookup view without widgets: every control is a field. norvik-cli and
// the benchmarks run lookups through it.
class MemoryLookupView : public LookupView {
  public:
    QString domain, server, result, status;
    QStringList items;
    bool lookupEnabled = true;
    std::optional<Referral> referral;

    QString domainText() override { return domain; }
    QStringList domainItems() override { return items; }
    void appendDomainItem(const QString& d) override { items << d; }
    QString serverText() override { return server; }
    void setLookupEnabled(bool e) override { lookupEnabled = e; }
    void setResultText(const QString& t) override { result = t; }
    void setStatusText(const QString& t) override { status = t; }
    void offerReferral(const std::optional<Referral>& r) override { referral = r; }
};

}  // namespace norvik::whois
