#include "platform/ui/dialog_template.h"

#include <map>

namespace ui {

namespace {
std::map<int, const DialogTemplate*>& Templates()
{
    static std::map<int, const DialogTemplate*> templates;
    return templates;
}
std::map<int, std::string>& Strings()
{
    static std::map<int, std::string> strings;
    return strings;
}
bool Overlap(const ControlTemplate& a, const ControlTemplate& b)
{
    return a.x < b.x + b.cx && b.x < a.x + a.cx && a.y < b.y + b.cy && b.y < a.y + a.cy;
}

// True if `inner` lies inside group box `box`, off its frame lines and
// below its title.
bool InsideFrame(const ControlTemplate& inner, const ControlTemplate& box)
{
    constexpr int kLine = 2, kTitle = 8; // the line, and room for its rounded corners
    return inner.x >= box.x + kLine && inner.x + inner.cx <= box.x + box.cx - kLine && inner.y >= box.y + kTitle &&
        inner.y + inner.cy <= box.y + box.cy - kLine;
}
} // namespace

bool OnPlainBackground(const DialogTemplate& tmpl, size_t index)
{
    if (index >= tmpl.controls.size())
        return false;
    const ControlTemplate& c = tmpl.controls[index];
    for (size_t i = 0; i < tmpl.controls.size(); ++i) {
        const ControlTemplate& other = tmpl.controls[i];
        if (i == index || !Overlap(c, other))
            continue;
        if (other.kind != ControlKind::GroupBox || !InsideFrame(c, other))
            return false;
    }
    return true;
}

const ControlTemplate* DialogTemplate::Find(int controlId) const
{
    if (controlId == IDC_STATIC)
        return nullptr;
    for (const ControlTemplate& c : controls)
        if (c.id == controlId)
            return &c;
    return nullptr;
}

const DialogTemplate* FindDialogTemplate(int id)
{
    auto it = Templates().find(id);
    return it == Templates().end() ? nullptr : it->second;
}

void RegisterDialogTemplate(const DialogTemplate* tmpl)
{
    if (tmpl)
        Templates()[tmpl->id] = tmpl;
}

std::string LoadString(int id)
{
    auto it = Strings().find(id);
    return it == Strings().end() ? std::string() : it->second;
}

void SetString(int id, const std::string& text)
{
    Strings()[id] = text;
}

} // namespace ui
