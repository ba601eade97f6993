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
} // namespace

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
