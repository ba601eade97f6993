// Dialog templates kept as data, the way resource files describe them:
// every control with its id, kind, text and rectangle in dialog units.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace ui {

enum class ControlKind {
    DefPushButton, // the default push button (Enter presses it)
    PushButton,
    GroupBox,
    Edit,
    Label, // static text; "&" marks a mnemonic
    ProgressBar,
    Icon, // static icon; text holds nothing, iconId names the icon
};

// Style flags, a small subset of what resource files can say.
enum StyleFlags : unsigned {
    StyleNone = 0,
    StyleBorder = 1u << 0, // a border around the control
    StyleTabStop = 1u << 1, // reached with Tab
    StyleAutoHScroll = 1u << 2, // edit scrolls sideways as the user types
};

enum DialogStyle : unsigned {
    DialogModalFrame = 1u << 0, // fixed frame, no resizing
    DialogCaption = 1u << 1,
    DialogSysMenu = 1u << 2,
    DialogAppWindow = 1u << 3, // shown in the task bar
};

constexpr int IDC_STATIC = -1; // a control nobody refers to

struct ControlTemplate {
    int id = IDC_STATIC;
    ControlKind kind = ControlKind::Label;
    std::string text;
    int x = 0, y = 0, cx = 0, cy = 0; // dialog units
    unsigned style = StyleNone;
    int iconId = 0; // for ControlKind::Icon
};

struct DialogTemplate {
    int id = 0;
    std::string title;
    int cx = 0, cy = 0; // dialog units
    std::string fontFace;
    int fontPointSize = 8;
    unsigned style = 0;
    std::vector<ControlTemplate> controls;

    // The control with this id, or null (IDC_STATIC never matches).
    const ControlTemplate* Find(int controlId) const;
};

// True if nothing but the dialog's own background lies under control
// `index` of `tmpl`: it overlaps no other control, except group boxes that
// hold it clear of their frame (2 dialog units) and title (the top 8, a font's
// height). False for an index out of range.
bool OnPlainBackground(const DialogTemplate& tmpl, size_t index);

// The template registered under this resource id, or null.
const DialogTemplate* FindDialogTemplate(int id);
// Makes a template findable by its id (the resource table calls this).
void RegisterDialogTemplate(const DialogTemplate* tmpl);

// String resources: the text under an id, empty when there is none.
std::string LoadString(int id);
// Sets (or, with an empty text, empties) a string resource.
void SetString(int id, const std::string& text);

} // namespace ui
