#pragma once

#include <functional>
#include <string>

#include "net/HostToIP.h"
#include "shell/Page.h"

class QLabel;
class QLineEdit;

namespace norvik::shell {

// The examples shown in the IP Translation captions.
inline constexpr const char* kExampleAddress = "192.0.2.1";
inline constexpr const char* kExampleHostName = "www.example.com";

// The IP Translation page: an address box and a name box, each with a
// button that looks up the other one.
class IpTranslationPage : public Page {
    Q_OBJECT
  public:
    // `ended` tells whether the program has ended; the buttons then do
    // nothing.
    IpTranslationPage(net::HostToIP& hosts, Headings headings, std::function<bool()> ended,
                      QWidget* parent);

    void enter() override;
    std::vector<QWidget*> tabOrder() const override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void lookUpName();
    void lookUpAddress();
    void translate(QPushButton* button, QLineEdit* from, QLineEdit* to,
                   std::string (net::HostToIP::*lookup)(const std::string&));

    net::HostToIP& hosts_;
    Headings headings_;
    std::function<bool()> ended_;
    QLabel* addressCaption_;
    QLineEdit* addressBox_;
    QPushButton* nameButton_;  // looks up the name of the address
    QLabel* nameCaption_;
    QLineEdit* nameBox_;
    QPushButton* addressButton_;  // looks up the address of the name
};

}  // namespace norvik::shell
