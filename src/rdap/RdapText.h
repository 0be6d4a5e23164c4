#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QUrl>
#include <optional>

// What an RDAP answer shows as text, as plain functions of their input so
// that the page, norvik-cli and the fuzzing harness call them alike.
namespace norvik::rdap {

// The fixed texts of failed lookups.
QString NotFoundText(const QString& query);            // "No record found for <query>"
QString RetryAfterText(const QByteArray& retryAfter);  // "The server asks to wait <n> seconds"
inline const char* const kNotRdap = "The server did not answer with RDAP";
inline const char* const kTooLarge = "The answer is larger than 4 MiB";
// Another 4xx/5xx: the code, and the RDAP error object's title and
// description when the body is one.
QString StatusText(int status, const QByteArray& body);

// The answer as text lines (LF ends each line): "# <url>" first, then the
// members this page knows, in a fixed order. nullopt when the body is not
// an RDAP object (not JSON, not an object, nested too deep).
std::optional<QString> RenderAnswer(const QUrl& url, const QByteArray& body);
QString RenderObject(const QUrl& url, const QJsonObject& object);

// The registrar's own record that a thin registry's answer links to: the
// first "related" link of type application/rdap+json with an https URL
// other than the answer's own.
std::optional<QUrl> RelatedRecord(const QUrl& answerUrl, const QByteArray& body);

}  // namespace norvik::rdap
