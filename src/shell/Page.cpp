#include "shell/Page.h"

namespace norvik::shell {

Page::Page(QWidget* parent) : QWidget(parent) { setVisible(false); }

}  // namespace norvik::shell
