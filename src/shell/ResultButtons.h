#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "export/Export.h"
#include "platform/MessageBox.h"

class QPushButton;

namespace norvik::shell {

// How Save asks where to write: the path and the filter picked (one of
// the export module's filters). The window's opens a file dialog; tests
// put in one that answers at once.
class SaveDialog {
  public:
    struct Choice {
        QString path;
        QString filter;
    };
    virtual ~SaveDialog() = default;
    virtual std::optional<Choice> ask(QWidget* parent, const QString& suggestedName) = 0;
};

// The dialog Save uses; SetSaveDialog(nullptr) goes back to the real one.
SaveDialog& CurrentSaveDialog();
void SetSaveDialog(SaveDialog* dialog);

// Puts text on the clipboard with CR LF as its line breaks.
void CopyWithCrLf(const QString& text);
// The box's text as shown, with CR LF line breaks.
QString ShownText(const QString& boxText);

// Marks whether a result box holds a result or only the page's own words
// (its hint, or nothing): its Copy and Save work only while it holds one.
void SetHoldsResult(QWidget* box, bool holds);

// Copy and Save for one result, a row of two buttons under its box. The row
// is shown and hidden with the box it belongs to, so the page operations
// need not know it.
class ResultButtons : public QWidget {
  public:
    // Renders the result in a format; Text is the text as shown.
    using Render = std::function<std::string(exports::Format)>;

    // The buttons are named prefix + "copy" and prefix + "save".
    ResultButtons(const QString& prefix, QWidget* box, Render render, QString suggestedName,
                  platform::MessageBox* boxes, QWidget* parent);
    ~ResultButtons() override;

    void copyResult();
    // Asks for a file and writes the result there; false when nothing was
    // written (cancelled, or the file could not be written, which a message
    // box says).
    bool saveResult();

    QPushButton* copyButton() const { return copy_; }
    QPushButton* saveButton() const { return save_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QPointer<QWidget> box_;
    Render render_;
    QString suggestedName_;
    platform::MessageBox* boxes_;
    std::unique_ptr<platform::MessageBox> ownBoxes_;
    QPushButton* copy_;
    QPushButton* save_;
};

}  // namespace norvik::shell
