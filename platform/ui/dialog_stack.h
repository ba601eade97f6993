// The dialogs a front end has on screen, one modal run inside another:
// which window a new dialog, a message box or the file chooser goes over.
// `View` is the front end's view of one dialog: it has Model(), the dialog
// it shows, and Window(), its window (null before it exists).
#pragma once

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/ui/dialog.h"

namespace ui {

template <class View> class DialogStack {
public:
    using Window = decltype(std::declval<const View&>().Window());

    // Builds View(dlg, viewArgs..., ActiveWindow()) and keeps it innermost
    // while run(view) shows it, however that ends. Returns what run returns;
    // -1 (nothing shown) when `dlg` is on screen already.
    template <class Run, class... Args> int RunModal(Dialog& dlg, Run&& run, Args&&... viewArgs)
    {
        if (dlg.View())
            return -1;
        View view(dlg, std::forward<Args>(viewArgs)..., ActiveWindow());
        Entry entry(m_views, view);
        return run(view);
    }

    // The window of the innermost dialog on screen (or being set up), or null.
    Window ActiveWindow() const { return m_views.empty() ? Window{} : m_views.back()->Window(); }

    // The view showing `dlg`, or null.
    View* ViewOf(const Dialog* dlg) const
    {
        for (View* view : m_views)
            if (&view->Model() == dlg)
                return view;
        return nullptr;
    }

    // The window to open a chooser or a box over for `owner`: the owner's
    // own window while it is on screen, else the innermost one (or null).
    Window WindowFor(const Dialog* owner) const
    {
        if (const View* view = ViewOf(owner); view && view->Window())
            return view->Window();
        return ActiveWindow();
    }

private:
    // Holds a view on the stack for its own lifetime.
    class Entry {
    public:
        Entry(std::vector<View*>& views, View& view) : m_views(views), m_view(&view) { views.push_back(&view); }
        ~Entry() { m_views.erase(std::find(m_views.begin(), m_views.end(), m_view)); }
        Entry(const Entry&) = delete;
        Entry& operator=(const Entry&) = delete;

    private:
        std::vector<View*>& m_views;
        View* m_view;
    };

    std::vector<View*> m_views; // innermost last
};

} // namespace ui
