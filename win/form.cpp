#include "win/form.h"

#include <algorithm>
#include <cctype>

#include "core/error.h"
#include "win/app.h"
#include "win/controls.h"

namespace pv::win {
namespace {

constexpr const char* kFormClass = "PvForm";

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

Component* makeComponent(const ControlDesc& d) {
  if (d.factory) return d.factory();
  switch (d.kind) {
    case Kind::Label: return new Label;
    case Kind::Button: return new Button;
    case Kind::Edit: return new Edit;
    case Kind::CheckBox: return new CheckBox;
    case Kind::ListBox: return new ListBox;
    case Kind::ToolBar: return new ToolBar;
    case Kind::ToolButton:
    case Kind::ToolSeparator: return new ToolButton;
    case Kind::StatusBar: return new StatusBar;
    case Kind::PageControl: return new PageControl;
    case Kind::TabSheet: return new TabSheet;
    case Kind::ProgressBar: return new ProgressBar;
    case Kind::Image: return new Image;
    case Kind::ImageList: return new ImageList;
    case Kind::Custom: return new CustomControl;
    case Kind::Component: break;
  }
  throw Error(std::string("no class for ") + d.name);
}

// "Name=Value;Name=Value" (';' and '=' never occur inside a Shift-JIS character).
void applyProps(Component& c, const char* props) {
  if (!props) return;
  std::string_view s(props);
  while (!s.empty()) {
    std::size_t end = s.find(';');
    std::string_view item = s.substr(0, end);
    std::size_t eq = item.find('=');
    if (eq != std::string_view::npos) c.setProperty(item.substr(0, eq), item.substr(eq + 1));
    if (end == std::string_view::npos) break;
    s.remove_prefix(end + 1);
  }
}

}  // namespace

Form::Form(const FormDesc& desc, const ControlDesc* rows, std::size_t count)
    : formDesc_(desc), rows_(rows, rows + count) {
  setOwner(this, desc.name ? desc.name : "");
  ControlDesc self{Kind::Custom, desc.name, nullptr, desc.left, desc.top, desc.width, desc.height, desc.caption};
  self.font = desc.font;
  Control::applyDesc(self);
  desc_ = nullptr;
  if (desc.color != CLR_INVALID) setColor(desc.color);
  setVisible(false);

  int nextId = 100;
  for (const ControlDesc& row : rows_) {
    std::unique_ptr<Component> comp(makeComponent(row));
    comp->setOwner(this, row.name ? row.name : "");
    Component* raw = comp.get();
    components_.push_back(std::move(comp));

    Control* parent = this;
    if (row.parent) {
      parent = dynamic_cast<Control*>(findComponent(row.parent));
      if (!parent) missingComponent(row.parent);
    }
    if (auto* button = dynamic_cast<ToolButton*>(raw)) {
      auto* bar = dynamic_cast<ToolBar*>(parent);
      if (!bar) throw Error(std::string(row.name) + ": a tool button needs a toolbar");
      button->caption_ = row.caption ? row.caption : "";
      button->hint_ = row.hint ? row.hint : "";
      button->image_ = row.image;
      button->enabled_ = !(row.flags & opt::Disabled);
      button->separator_ = row.kind == Kind::ToolSeparator;
      bar->addButton(*button);
    } else if (auto* ctl = dynamic_cast<Control*>(raw)) {
      ctl->applyDesc(row);
      ctl->parent_ = parent;
      parent->children_.push_back(ctl);
      if (row.flags & opt::Default) ctl->id_ = IDOK;
      else if (row.flags & opt::Cancel) ctl->id_ = IDCANCEL;
      else ctl->id_ = nextId++;
      if (auto* sheet = dynamic_cast<TabSheet*>(ctl)) {
        auto* pages = dynamic_cast<PageControl*>(parent);
        if (!pages) throw Error(std::string(row.name) + ": a tab sheet needs a page control");
        pages->addPage(*sheet);
      }
    }
    applyProps(*raw, row.props);
  }
}

Form::~Form() {
  createHandler_ = nullptr;
  destroyHandler_ = nullptr;
  activateHandler_ = nullptr;
  closeQueryHandler_ = nullptr;
  if (app().mainForm() == this) app().setMainForm(nullptr);
  if (app().activeModal() == this) app().setActiveModal(nullptr);
  destroyHandle();
}

[[noreturn]] void Form::missingComponent(std::string_view name) {
  throw Error("component " + std::string(name) + " is missing or of another class");
}

Component* Form::findComponent(std::string_view name) const {
  for (const auto& c : components_)
    if (sameName(c->name(), name)) return c.get();
  return nullptr;
}

Component& Form::addComponent(std::unique_ptr<Component> c, std::string name) {
  c->setOwner(this, std::move(name));
  if (auto* ctl = dynamic_cast<Control*>(c.get())) {
    ctl->parent_ = this;
    children_.push_back(ctl);
    if (hasHandle()) ctl->createHandle();
  }
  components_.push_back(std::move(c));
  return *components_.back();
}

void Form::bindNotify(std::string_view control, Event e, NotifyEvent fn) {
  Component* c = findComponent(control);
  if (auto* b = dynamic_cast<ToolButton*>(c)) {
    if (e != Event::Click) throw Error(std::string(control) + ": tool buttons only have Click");
    b->onClick = std::move(fn);
    return;
  }
  auto* ctl = dynamic_cast<Control*>(c);
  if (!ctl) missingComponent(control);
  switch (e) {
    case Event::Click: ctl->onClick = std::move(fn); break;
    case Event::DblClick: ctl->onDblClick = std::move(fn); break;
    case Event::Change: ctl->onChange = std::move(fn); break;
  }
}

void Form::build() {
  if (built_) return;
  createHandle();
  for (const auto& c : components_)
    if (auto* ctl = dynamic_cast<Control*>(c.get())) ctl->createHandle();
  realign();
  for (const auto& c : components_) c->loaded();
  built_ = true;
  if (createHandler_) {
    try {
      createHandler_();
    } catch (...) {
      app().handleException();
    }
  }
}

void Form::createParams(CreateParams& p) {
  const unsigned f = formDesc_.flags;
  p.className = kFormClass;
  p.ownClass = true;
  p.style = WS_CAPTION | WS_CLIPCHILDREN;
  p.exStyle = 0;
  if (!(f & formopt::NoSysMenu)) p.style |= WS_SYSMENU;
  if (f & formopt::Sizeable) {
    p.style |= WS_THICKFRAME;
  } else if (f & formopt::Single) {
    p.style |= WS_BORDER;
  } else {
    p.style |= DS_MODALFRAME;
    p.exStyle |= WS_EX_DLGMODALFRAME;
  }
  if (f & formopt::MinMax) p.style |= WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
  if ((f & formopt::HelpButton) && !(f & formopt::MinMax)) p.exStyle |= WS_EX_CONTEXTHELP;
  if (f & formopt::ToolWindow) p.exStyle |= WS_EX_TOOLWINDOW;
  if (f & formopt::StayOnTop) p.exStyle |= WS_EX_TOPMOST;
  p.id = 0;
}

void Form::createWindow() {
  Window::registerClass(kFormClass, CS_DBLCLKS, nullptr, app().icon());
  CreateParams p;
  createParams(p);
  int w = formDesc_.width, h = formDesc_.height;
  if (formDesc_.flags & formopt::ClientSize) {
    RECT r{0, 0, w, h};
    ::AdjustWindowRectEx(&r, p.style, FALSE, p.exStyle);
    w = r.right - r.left;
    h = r.bottom - r.top;
  }
  int x = formDesc_.left, y = formDesc_.top;
  if (formDesc_.flags & formopt::ScreenCentre) {
    x = (::GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    y = (::GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  }
  // Secondary forms stay above the main form.
  HWND owner = nullptr;
  if (Form* main = app().mainForm(); main && main != this && main->hasHandle()) owner = main->handle();
  createOwnWindow(p.exStyle, p.className, formDesc_.caption ? formDesc_.caption : "", p.style, x, y, w, h, owner,
                  nullptr);
  if (HFONT f = font()) ::SendMessageA(handle(), WM_SETFONT, reinterpret_cast<WPARAM>(f), FALSE);
  afterCreateWindow();
}

void Form::show() {
  if (!built_) build();
  setVisible(true);
  ::SetForegroundWindow(handle());
}

void Form::hide() { setVisible(false); }

void Form::close() {
  if (closeQueryHandler_ && !closeQueryHandler_()) return;
  if (inModal_) {
    if (modalResult_ == mrNone) setModalResult(mrCancel);
  } else if (app().mainForm() == this) {
    destroyForm();
  } else {
    hide();
  }
}

void Form::destroyForm() { destroyHandle(); }

void Form::setModalResult(int r) {
  modalResult_ = r;
  if (inModal_ && r != mrNone && hasHandle()) ::PostMessageA(handle(), WM_NULL, 0, 0);
}

namespace {

// The tab stops below parent in tab order: visible, enabled windows with
// WS_TABSTOP, and inside every control parent (a page control, its shown page).
void collectTabStops(HWND parent, std::vector<HWND>& out) {
  for (HWND c = ::GetWindow(parent, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
    const LONG style = ::GetWindowLongA(c, GWL_STYLE);
    if (!(style & WS_VISIBLE) || (style & WS_DISABLED)) continue;
    if (style & WS_TABSTOP) out.push_back(c);
    if (::GetWindowLongA(c, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) collectTabStops(c, out);
  }
}

struct DisabledWindows {
  HWND except;
  std::vector<HWND> list;
};

BOOL CALLBACK disableOne(HWND hwnd, LPARAM l) {
  auto* d = reinterpret_cast<DisabledWindows*>(l);
  if (hwnd != d->except && ::IsWindowVisible(hwnd) && ::IsWindowEnabled(hwnd)) {
    ::EnableWindow(hwnd, FALSE);
    d->list.push_back(hwnd);
  }
  return TRUE;
}

}  // namespace

int Form::showModal() {
  if (!built_) build();
  if (inModal_ || visible()) throw Error("form " + name() + " is already shown");
  HWND previous = ::GetActiveWindow();
  DisabledWindows disabled{handle(), {}};
  ::EnumThreadWindows(::GetCurrentThreadId(), &disableOne, reinterpret_cast<LPARAM>(&disabled));
  Form* outerModal = app().activeModal();
  modalResult_ = mrNone;
  inModal_ = true;
  app().setActiveModal(this);

  // Whatever ends the loop, the other windows come back before this one hides,
  // so that activation returns to them.
  struct Restore {
    Form& f;
    DisabledWindows& d;
    Form* outer;
    HWND previous;
    ~Restore() {
      for (HWND h : d.list)
        if (::IsWindow(h)) ::EnableWindow(h, TRUE);
      f.hide();
      f.inModal_ = false;
      app().setActiveModal(outer);
      if (previous && ::IsWindow(previous)) ::SetActiveWindow(previous);
    }
  } restore{*this, disabled, outerModal, previous};

  show();
  std::vector<HWND> stops;
  collectTabStops(handle(), stops);
  if (!stops.empty()) ::SetFocus(stops.front());
  while (modalResult_ == mrNone) {
    if (!app().handleOneMessage(true)) {
      modalResult_ = mrCancel;
      break;
    }
    if (!hasHandle()) {
      if (modalResult_ == mrNone) modalResult_ = mrCancel;
      break;
    }
  }
  return modalResult_;
}

namespace {

// The page control that Ctrl+Tab switches: the one holding the focus, else the
// form's first shown one.
PageControl* pagesFor(const Form& form, HWND focus) {
  for (Control* c = Control::fromHandle(focus); c && c != &form; c = c->parentControl())
    if (auto* pc = dynamic_cast<PageControl*>(c)) return pc;
  for (const auto& comp : form.components())
    if (auto* pc = dynamic_cast<PageControl*>(comp.get()); pc && pc->hasHandle() && ::IsWindowVisible(pc->handle()))
      return pc;
  return nullptr;
}

}  // namespace

bool Form::dialogKey(const MSG& m) {
  if (m.message != WM_KEYDOWN || !hasHandle()) return false;
  if (m.hwnd != handle() && !::IsChild(handle(), m.hwnd)) return false;
  const bool ctrl = ::GetKeyState(VK_CONTROL) < 0, shift = ::GetKeyState(VK_SHIFT) < 0;
  if (::GetKeyState(VK_MENU) < 0) return false;
  // Keys come to the focused control; the one they came to is the one they act on.
  HWND focus = m.hwnd;
  const LRESULT code = ::SendMessageA(focus, WM_GETDLGCODE, m.wParam, reinterpret_cast<LPARAM>(&m));

  if (ctrl && (m.wParam == VK_TAB || m.wParam == VK_NEXT || m.wParam == VK_PRIOR)) {
    PageControl* pages = pagesFor(*this, focus);
    if (!pages) return false;
    pages->selectNext(m.wParam == VK_TAB ? !shift : m.wParam == VK_NEXT);
    return true;
  }
  if (m.wParam == VK_TAB && !ctrl && !(code & DLGC_WANTTAB)) {
    std::vector<HWND> stops;
    collectTabStops(handle(), stops);
    if (stops.empty()) return true;
    const int n = static_cast<int>(stops.size());
    // The innermost stop that is or holds the focus: the last such in this depth-first
    // order (the page control holds every field of its pages).
    int at = -1;
    for (int i = 0; i < n; ++i)
      if (stops[i] == focus || ::IsChild(stops[i], focus)) at = i;
    int next = at < 0 ? (shift ? n - 1 : 0) : (at + (shift ? n - 1 : 1)) % n;
    HWND target = stops[static_cast<std::size_t>(next)];
    // An edit box entered by Tab has its text selected, as in every dialog.
    if (::SendMessageA(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) ::SendMessageA(target, EM_SETSEL, 0, -1);
    ::SetFocus(target);
    return true;
  }
  // Enter on a focused push button presses that button, not the default one.
  if (m.wParam == VK_RETURN && (code & DLGC_UNDEFPUSHBUTTON) && ::IsWindowEnabled(focus)) {
    ::SendMessageA(focus, BM_CLICK, 0, 0);
    return true;
  }
  return false;
}

bool Form::maximized() const { return hasHandle() && ::IsZoomed(handle()); }
bool Form::minimized() const { return hasHandle() && ::IsIconic(handle()); }

RECT Form::normalBounds() const {
  RECT r{left(), top(), left() + width(), top() + height()};
  if (hasHandle() && (maximized() || minimized())) {
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    if (::GetWindowPlacement(handle(), &wp)) r = wp.rcNormalPosition;
  }
  return r;
}

HMENU Form::systemMenu() const { return hasHandle() ? ::GetSystemMenu(handle(), FALSE) : nullptr; }

bool Form::handleDialogCommand(int id) {
  // Enter or Escape (from the dialog keys) without a button of that id.
  if (id == IDCANCEL && inModal_) {
    return true;  // no Cancel button: Escape does nothing
  }
  return id == IDOK;
}

LRESULT Form::handleHelp(const HELPINFO* info) {
  int context = 0;
  if (info && info->iContextType == HELPINFO_WINDOW) {
    for (Control* c = Control::fromHandle(static_cast<HWND>(info->hItemHandle)); c && !context; c = c->parentControl())
      context = c->helpContext();
  }
  if (!context) context = helpContext();
  if (context) {
    bool popup = (formDesc_.flags & formopt::HelpButton) != 0;
    app().helpCommand(popup ? HELP_CONTEXTPOPUP : HELP_CONTEXT, static_cast<ULONG_PTR>(context));
  }
  return TRUE;
}

LRESULT Form::handleMessage(UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_COMMAND:
      if (l == 0 && HIWORD(w) <= 1 && handleDialogCommand(LOWORD(w))) return 0;
      break;
    case WM_CLOSE:
      close();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(w) != WA_INACTIVE && activateHandler_) activateHandler_();
      break;
    case WM_HELP:
      return handleHelp(reinterpret_cast<const HELPINFO*>(l));
    case WM_ERASEBKGND: {
      RECT r;
      ::GetClientRect(handle(), &r);
      ::FillRect(reinterpret_cast<HDC>(w), &r, backgroundBrush());
      return 1;
    }
    case WM_DESTROY:
      if (!destroying_) {
        destroying_ = true;
        if (destroyHandler_) {
          try {
            destroyHandler_();
          } catch (...) {
            app().handleException();
          }
        }
        if (app().mainForm() == this) ::PostQuitMessage(0);
      }
      break;
  }
  return Control::handleMessage(msg, w, l);
}

}  // namespace pv::win
