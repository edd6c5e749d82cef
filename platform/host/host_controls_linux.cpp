// What the headless controls do with their messages: texts, the combo box
// list, the progress bar, the icon static, enabling and moving. Runs on the
// dialog's thread with the host lock held; observers are told afterwards.
#include "platform/host/host_dialog.h"

namespace {

HostObservers g_observers;
thread_local std::vector<std::function<void(const HostObservers&)>> t_events;

std::u16string TextOf(LPARAM lparam) {
    const WCH* text = reinterpret_cast<const WCH*>(lparam);
    return text ? std::u16string(text) : std::u16string();
}

LRESULT CopyText(const std::u16string& text, WPARAM capacity, LPARAM buffer) {
    WCH* out = reinterpret_cast<WCH*>(buffer);
    if (!out || capacity == 0) return 0;
    size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    for (size_t i = 0; i < n; i++) out[i] = text[i];
    out[n] = 0;
    return static_cast<LRESULT>(n);
}

LRESULT ComboMessage(HostWindow* w, UINT message, WPARAM wparam, LPARAM lparam) {
    int id = w->id;
    int count = static_cast<int>(w->items.size());
    int index = static_cast<int>(static_cast<INT_PTR>(wparam));
    bool valid = index >= 0 && index < count;
    switch (message) {
        case CB_ADDSTRING: {
            // The list is not sorted (no CBS_SORT): entries are appended.
            std::u16string text = TextOf(lparam);
            w->items.push_back(HostComboItem{text, 0});
            HostQueueEvent([id, count, text](const HostObservers& o) {
                if (o.list) o.list(id, HostListEvent{kListAdd, count, text, 0});
            });
            return count;
        }
        case CB_RESETCONTENT:
            w->items.clear();
            w->cursel = -1;
            HostQueueEvent([id](const HostObservers& o) {
                if (o.list) o.list(id, HostListEvent{kListReset, -1, u"", 0});
            });
            return CB_OKAY;
        case CB_GETCOUNT: return count;
        case CB_GETCURSEL: return w->cursel;
        case CB_SETCURSEL: {
            // An index out of range clears the selection and reports CB_ERR.
            w->cursel = valid ? index : -1;
            std::u16string text = valid ? w->items[static_cast<size_t>(index)].text : u"";
            int selected = w->cursel;
            HostQueueEvent([id, selected, text](const HostObservers& o) {
                if (o.list) o.list(id, HostListEvent{kListSelect, selected, text, 0});
            });
            return valid ? index : CB_ERR;
        }
        case CB_GETITEMDATA: return valid ? w->items[static_cast<size_t>(index)].data : CB_ERR;
        case CB_SETITEMDATA:
            if (!valid) return CB_ERR;
            w->items[static_cast<size_t>(index)].data = lparam;
            HostQueueEvent([id, index, lparam](const HostObservers& o) {
                if (o.list) o.list(id, HostListEvent{kListSetData, index, u"", lparam});
            });
            return TRUE;
        case CB_GETLBTEXTLEN: return valid ? static_cast<LRESULT>(w->items[static_cast<size_t>(index)].text.size()) : CB_ERR;
        case CB_GETLBTEXT: {
            // As on Windows the buffer has no size: the caller makes room for
            // CB_GETLBTEXTLEN units and the terminator.
            if (!valid) return CB_ERR;
            const std::u16string& text = w->items[static_cast<size_t>(index)].text;
            WCH* out = reinterpret_cast<WCH*>(lparam);
            if (!out) return CB_ERR;
            for (size_t i = 0; i < text.size(); i++) out[i] = text[i];
            out[text.size()] = 0;
            return static_cast<LRESULT>(text.size());
        }
        case WM_GETTEXT:
            // A drop-down list shows the selected entry.
            return CopyText(w->cursel >= 0 ? w->items[static_cast<size_t>(w->cursel)].text : u"", wparam, lparam);
        case WM_SETTEXT: return CB_ERR;
        default: return 0;
    }
}

LRESULT ProgressMessage(HostWindow* w, UINT message, WPARAM wparam, LPARAM lparam) {
    int id = w->id;
    switch (message) {
        case PBM_SETPOS: {
            int previous = w->pos;
            int pos = static_cast<int>(static_cast<INT_PTR>(wparam));
            if (pos < w->range_low) pos = w->range_low;
            if (pos > w->range_high) pos = w->range_high;
            w->pos = pos;
            // Every PBM_SETPOS is reported, also one that leaves the bar where it is.
            HostQueueEvent([id, pos](const HostObservers& o) {
                if (o.progress) o.progress(id, pos);
            });
            return previous;
        }
        case PBM_GETPOS: return w->pos;
        case PBM_SETRANGE: {
            LRESULT previous = (w->range_low & 0xFFFF) | ((w->range_high & 0xFFFF) << 16);
            w->range_low = static_cast<int>(lparam & 0xFFFF);
            w->range_high = static_cast<int>((lparam >> 16) & 0xFFFF);
            if (w->pos < w->range_low) w->pos = w->range_low;
            if (w->pos > w->range_high) w->pos = w->range_high;
            return previous;
        }
        case PBM_GETRANGE: return wparam ? w->range_low : w->range_high;
        default: return 0;
    }
}

}  // namespace

void HostQueueEvent(std::function<void(const HostObservers&)> event) { t_events.push_back(std::move(event)); }

void HostFlushEvents() {
    if (t_events.empty()) return;
    std::vector<std::function<void(const HostObservers&)>> events;
    events.swap(t_events);
    HostObservers observers;
    {
        std::lock_guard<std::mutex> lock(HostMutex());
        observers = g_observers;
    }
    for (auto& event : events) event(observers);
}

void HostSetObservers(const HostObservers& observers) {
    std::lock_guard<std::mutex> lock(HostMutex());
    g_observers = observers;
}

LRESULT HostControlMessage(HostWindow* w, UINT message, WPARAM wparam, LPARAM lparam) {
    int id = w->id;
    switch (message) {
        case kHostMsgEnable: {
            bool was_disabled = !w->enabled;
            bool enable = wparam != 0;
            if (w->enabled != enable) {
                w->enabled = enable;
                HostQueueEvent([id, enable](const HostObservers& o) {
                    if (o.enabled) o.enabled(id, enable);
                });
            }
            return was_disabled;
        }
        case kHostMsgMove: {
            const RECT* r = reinterpret_cast<const RECT*>(lparam);
            w->rect = RECT{r->left, r->top, r->left + r->right, r->top + r->bottom};
            return TRUE;
        }
        default: break;
    }
    if (w->cls == kClassCombo) return ComboMessage(w, message, wparam, lparam);
    if (w->cls == kClassProgress && message >= PBM_SETRANGE && message <= PBM_GETPOS)
        return ProgressMessage(w, message, wparam, lparam);
    switch (message) {
        case WM_SETTEXT: {
            w->text = TextOf(lparam);
            std::u16string text = w->text;
            HostQueueEvent([id, text](const HostObservers& o) {
                if (o.text) o.text(id, text);
            });
            return TRUE;
        }
        case WM_GETTEXT: return CopyText(w->text, wparam, lparam);
        case STM_SETIMAGE: {
            if (w->cls != kClassStatic || wparam != IMAGE_ICON) return 0;
            HICON previous = w->image;
            w->image = reinterpret_cast<HICON>(lparam);
            return reinterpret_cast<LRESULT>(previous);
        }
        default: return 0;
    }
}
