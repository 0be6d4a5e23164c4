#pragma once

#include <string>

namespace norvik::platform {

enum class Buttons { Ok, YesNo };
enum class Icon { None, Critical, Exclamation };
enum class Answer { Ok, Yes, No };

// Shows a text with a caption, buttons and an icon and returns the answer.
// Texts are shown as plain text, exactly as given (CR LF included).
class MessageBox {
public:
    virtual ~MessageBox() = default;
    virtual Answer show(const std::string& text, const std::string& caption, Buttons buttons,
                        Icon icon) = 0;
};

// The application's title, the caption of boxes that name none.
inline constexpr const char* kAppTitle = "Norvik";

}  // namespace norvik::platform
