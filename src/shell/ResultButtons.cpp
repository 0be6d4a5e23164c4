#include "shell/ResultButtons.h"

#include <QClipboard>
#include <QEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSaveFile>
#include <QVariant>

#include "platform/qt/QtMessageBox.h"

namespace norvik::shell {

namespace {

class FileSaveDialog : public SaveDialog {
  public:
    std::optional<Choice> ask(QWidget* parent, const QString& suggestedName) override {
        const QString filters =
            QStringList{QLatin1String(exports::kTextFilter), QLatin1String(exports::kCsvFilter),
                        QLatin1String(exports::kJsonFilter)}
                .join(QLatin1String(";;"));
        QString filter = QLatin1String(exports::kTextFilter);
        const QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("Save"),
                                                          suggestedName, filters, &filter);
        if (path.isEmpty()) return std::nullopt;
        return Choice{path, filter};
    }
};

SaveDialog* g_dialog = nullptr;

const char kHoldsResult[] = "norvikHoldsResult";

}  // namespace

SaveDialog& CurrentSaveDialog() {
    static FileSaveDialog real;
    return g_dialog != nullptr ? *g_dialog : real;
}

void SetSaveDialog(SaveDialog* dialog) { g_dialog = dialog; }

QString ShownText(const QString& boxText) {
    QString t = boxText;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QChar(QChar::ParagraphSeparator), QLatin1Char('\n'));
    t.replace(QLatin1String("\n"), QLatin1String("\r\n"));
    return t;
}

void SetHoldsResult(QWidget* box, bool holds) { box->setProperty(kHoldsResult, holds); }

void CopyWithCrLf(const QString& text) { QGuiApplication::clipboard()->setText(ShownText(text)); }

ResultButtons::ResultButtons(const QString& prefix, QWidget* box, Render render,
                             QString suggestedName, platform::MessageBox* boxes, QWidget* parent)
    : QWidget(parent),
      box_(box),
      render_(std::move(render)),
      suggestedName_(std::move(suggestedName)),
      boxes_(boxes) {
    setObjectName(prefix + QStringLiteral("buttons"));
    if (boxes_ == nullptr) {
        ownBoxes_ = std::make_unique<platform::QtMessageBox>(this);
        boxes_ = ownBoxes_.get();
    }
    copy_ = new QPushButton(QStringLiteral("Copy"), this);
    copy_->setObjectName(prefix + QStringLiteral("copy"));
    copy_->setToolTip(QStringLiteral("Copy the text to the clipboard"));
    save_ = new QPushButton(QStringLiteral("Save..."), this);
    save_->setObjectName(prefix + QStringLiteral("save"));
    save_->setToolTip(QStringLiteral("Save as text, CSV or JSON"));
    for (QPushButton* b : {copy_, save_}) {
        b->setAutoDefault(false);
        // A box never marked always holds its result (the report's).
        b->setEnabled(box_ == nullptr || box_->property(kHoldsResult).toBool() ||
                      !box_->property(kHoldsResult).isValid());
    }
    connect(copy_, &QPushButton::clicked, this, [this] { copyResult(); });
    connect(save_, &QPushButton::clicked, this, [this] { saveResult(); });

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addStretch(1);
    row->addWidget(copy_);
    row->addWidget(save_);

    if (box_ != nullptr) {
        box_->installEventFilter(this);
        setVisible(!box_->isHidden());
    }
}

// Qt drops an event filter whose object goes; the box may be gone first.
ResultButtons::~ResultButtons() = default;

void ResultButtons::copyResult() {
    CopyWithCrLf(QString::fromStdString(render_(exports::Format::Text)));
}

bool ResultButtons::saveResult() {
    const auto choice = CurrentSaveDialog().ask(window(), suggestedName_);
    if (!choice) return false;
    const exports::Format format =
        exports::FormatOfFilter(choice->filter.toStdString()).value_or(exports::Format::Text);
    const QString path =
        QString::fromStdString(exports::WithExtension(choice->path.toStdString(), format));
    std::string data = render_(format);
    if (format == exports::Format::Text)
        data = ShownText(QString::fromStdString(data)).toStdString();

    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) &&
        file.write(data.data(), static_cast<qint64>(data.size())) ==
            static_cast<qint64>(data.size()) &&
        file.commit()) {
        return true;
    }
    boxes_->show("The file could not be saved:\r\n" + path.toStdString() + "\r\n" +
                     file.errorString().toStdString(),
                 platform::kAppTitle, platform::Buttons::Ok, platform::Icon::Critical);
    return false;
}

bool ResultButtons::eventFilter(QObject* watched, QEvent* event) {
    if (watched == box_) {
        // A box hidden with its window keeps its own state; only the page
        // operations' explicit hiding counts.
        if (event->type() == QEvent::Show) setVisible(true);
        if (event->type() == QEvent::Hide && box_->isHidden()) setVisible(false);
        if (event->type() == QEvent::DynamicPropertyChange &&
            static_cast<QDynamicPropertyChangeEvent*>(event)->propertyName() == kHoldsResult) {
            const bool holds = box_->property(kHoldsResult).toBool();
            copy_->setEnabled(holds);
            save_->setEnabled(holds);
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace norvik::shell
