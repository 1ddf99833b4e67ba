#include "win/window.h"

#include <algorithm>

#include "core/error.h"
#include "win/app.h"
#include "win/form.h"

namespace pv::win {
namespace {

// Properties that tie a window to its object and, for subclassed controls, to
// the class procedure we replaced.
constexpr const char* kObjectProp = "PvWindow";
constexpr const char* kOriginalProp = "PvOriginalProc";

HINSTANCE moduleInstance() { return ::GetModuleHandleA(nullptr); }

}  // namespace

// ------------------------------------------------------------ Window

Window::~Window() {
  if (hwnd_) {
    // The derived parts of this object are gone: let the window die without us.
    HWND h = hwnd_;
    detach();
    ::DestroyWindow(h);
  }
}

LRESULT Window::perform(UINT msg, WPARAM w, LPARAM l) const {
  return hwnd_ ? ::SendMessageA(hwnd_, msg, w, l) : 0;
}

Window* Window::fromHandle(HWND hwnd) {
  return hwnd ? static_cast<Window*>(::GetPropA(hwnd, kObjectProp)) : nullptr;
}

void Window::registerClass(const char* className, UINT style, HBRUSH background, HICON icon) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  if (::GetClassInfoExA(moduleInstance(), className, &wc)) return;
  wc = WNDCLASSEXA{};
  wc.cbSize = sizeof wc;
  wc.style = style;
  wc.lpfnWndProc = &Window::ownClassProc;
  wc.hInstance = moduleInstance();
  wc.hIcon = icon;
  wc.hIconSm = icon;
  wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = background;
  wc.lpszClassName = className;
  if (!::RegisterClassExA(&wc)) throw Error(formatText("ウィンドウクラス %s を登録できません", className));
}

void Window::attach(HWND hwnd) {
  hwnd_ = hwnd;
  ::SetPropA(hwnd, kObjectProp, this);
}

void Window::detach() {
  if (!hwnd_) return;
  ::RemovePropA(hwnd_, kObjectProp);
  if (original_) {
    if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(hwnd_, GWLP_WNDPROC)) == &Window::subclassProc)
      ::SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
    ::RemovePropA(hwnd_, kOriginalProp);
  }
  hwnd_ = nullptr;
}

LRESULT CALLBACK Window::ownClassProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  Window* self = nullptr;
  if (msg == WM_NCCREATE) {
    self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTA*>(l)->lpCreateParams);
    if (self) self->attach(hwnd);
  } else {
    self = fromHandle(hwnd);
  }
  if (!self) return ::DefWindowProcA(hwnd, msg, w, l);
  LRESULT r = self->dispatch(msg, w, l);
  if (msg == WM_NCDESTROY) self->detach();
  return r;
}

LRESULT CALLBACK Window::subclassProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  Window* self = fromHandle(hwnd);
  auto original = reinterpret_cast<WNDPROC>(::GetPropA(hwnd, kOriginalProp));
  if (!self) return original ? ::CallWindowProcA(original, hwnd, msg, w, l) : ::DefWindowProcA(hwnd, msg, w, l);
  LRESULT r = self->dispatch(msg, w, l);
  if (msg == WM_NCDESTROY) self->detach();
  return r;
}

LRESULT Window::dispatch(UINT msg, WPARAM w, LPARAM l) noexcept {
  try {
    // The screen cursor wins over every window's own cursor while it is set.
    if (msg == WM_SETCURSOR && app().cursor() != Cursor::Default) {
      ::SetCursor(Application::cursorHandle(app().cursor()));
      return TRUE;
    }
    return handleMessage(msg, w, l);
  } catch (...) {
    app().handleException();
    return 0;
  }
}

LRESULT Window::handleMessage(UINT msg, WPARAM w, LPARAM l) { return defaultHandler(msg, w, l); }

LRESULT Window::defaultHandler(UINT msg, WPARAM w, LPARAM l) {
  if (!hwnd_) return 0;
  return original_ ? ::CallWindowProcA(original_, hwnd_, msg, w, l) : ::DefWindowProcA(hwnd_, msg, w, l);
}

HWND Window::createOwnWindow(DWORD exStyle, const char* className, const char* text, DWORD style, int x, int y,
                             int w, int h, HWND parent, HMENU menuOrId) {
  original_ = nullptr;
  HWND hwnd = ::CreateWindowExA(exStyle, className, text, style, x, y, w, h, parent, menuOrId, moduleInstance(), this);
  if (!hwnd) throw Error(formatText("ウィンドウ %s を作成できません", className));
  return hwnd;
}

HWND Window::createSubclassed(DWORD exStyle, const char* className, const char* text, DWORD style, int x, int y,
                              int w, int h, HWND parent, HMENU menuOrId) {
  HWND hwnd = ::CreateWindowExA(exStyle, className, text, style, x, y, w, h, parent, menuOrId, moduleInstance(), nullptr);
  if (!hwnd) throw Error(formatText("ウィンドウ %s を作成できません", className));
  attach(hwnd);
  original_ = reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(hwnd, GWLP_WNDPROC));
  ::SetPropA(hwnd, kOriginalProp, reinterpret_cast<HANDLE>(original_));
  ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Window::subclassProc));
  return hwnd;
}

void Window::destroyHandle() {
  if (hwnd_) ::DestroyWindow(hwnd_);
}

// ------------------------------------------------------------ Component

void Component::setProperty(std::string_view name, std::string_view value) {
  throw Error("property " + std::string(name) + "=" + std::string(value) + " is unknown to " + name_);
}

// ------------------------------------------------------------ drag

namespace {

// The one drag in progress: mouse input is captured by a hidden window of ours,
// which asks the control under the mouse whether it takes the source.
class DragCapture : public Window {
 public:
  Control* source = nullptr;

  void start(Control& src) {
    if (!hasHandle()) {
      registerClass("PvDragCapture", 0);
      createOwnWindow(0, "PvDragCapture", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr);
    }
    source = &src;
    ::SetCapture(handle());
    app().setCursor(Cursor::Drag);
  }

 protected:
  LRESULT handleMessage(UINT msg, WPARAM w, LPARAM l) override {
    switch (msg) {
      case WM_MOUSEMOVE:
        if (source) {
          POINT pt;
          Control* target = targetAt(pt);
          bool accepted = target && target->dragOver(*source, pt);
          app().setCursor(accepted ? Cursor::Drag : Cursor::NoDrop);
        }
        return 0;
      case WM_LBUTTONUP:
      case WM_RBUTTONDOWN:
        if (source) {
          Control* src = source;
          POINT pt;
          Control* target = msg == WM_LBUTTONUP ? targetAt(pt) : nullptr;
          bool accepted = target && target->dragOver(*src, pt);
          finish();
          if (accepted) target->dragDrop(*src, pt);
        }
        return 0;
      case WM_CAPTURECHANGED:
        if (source && reinterpret_cast<HWND>(l) != handle()) finish();
        return 0;
      case WM_CANCELMODE:
        finish();
        return 0;
    }
    return Window::handleMessage(msg, w, l);
  }

 private:
  // The control under the mouse and the point in its client coordinates.
  Control* targetAt(POINT& pt) {
    DWORD pos = ::GetMessagePos();
    POINT screen{static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))};
    HWND under = ::WindowFromPoint(screen);
    Control* target = Control::fromHandle(under);
    if (!target || !target->hasHandle()) return nullptr;
    pt = screen;
    ::ScreenToClient(target->handle(), &pt);
    return target;
  }

  void finish() {
    source = nullptr;
    if (::GetCapture() == handle()) ::ReleaseCapture();
    app().setCursor(Cursor::Default);
  }
};

DragCapture& dragCapture() {
  static DragCapture d;
  return d;
}

}  // namespace

void Control::beginDrag() { dragCapture().start(*this); }

bool Control::dragging() const { return dragCapture().source == this; }

bool Control::dragOver(Control& source, POINT pt) { return onDragOver ? onDragOver(*this, source, pt) : false; }

void Control::dragDrop(Control& source, POINT pt) {
  if (onDragDrop) onDragDrop(*this, source, pt);
}

// ------------------------------------------------------------ Control

Control::~Control() {
  if (dragCapture().source == this) dragCapture().source = nullptr;
}

Form* Control::form() const {
  const Control* c = this;
  while (c->parent_) c = c->parent_;
  return dynamic_cast<Form*>(const_cast<Control*>(c));
}

void Control::applyDesc(const ControlDesc& d) {
  desc_ = &d;
  x_ = d.left;
  y_ = d.top;
  w_ = d.width;
  h_ = d.height;
  caption_ = d.caption ? d.caption : "";
  flags_ = d.flags;
  if (d.hint) hint_ = d.hint;
  helpContext_ = d.helpContext;
  if (d.flags & opt::AlignTop) align_ = Align::Top;
  else if (d.flags & opt::AlignBottom) align_ = Align::Bottom;
  else if (d.flags & opt::AlignClient) align_ = Align::Client;
  enabled_ = !(d.flags & opt::Disabled);
  visible_ = !(d.flags & opt::Hidden);
  fontDesc_ = d.font;
  if (d.font.color != CLR_INVALID) fontColor_ = d.font.color;
}

namespace {
bool isTrue(std::string_view v) { return v == "1" || v == "True" || v == "true"; }
}  // namespace

void Control::setProperty(std::string_view name, std::string_view value) {
  if (name == "Hint") setHint(std::string(value));
  else if (name == "HelpContext") setHelpContext(std::stoi(std::string(value)));
  else if (name == "Caption") setCaption(std::string(value));
  else if (name == "Enabled") setEnabled(isTrue(value));
  else if (name == "Visible") setVisible(isTrue(value));
  else if (name == "Ctl3D") setCtl3D(isTrue(value));
  else if (name == "Color") setColor(static_cast<COLORREF>(std::stoul(std::string(value), nullptr, 16)));
  else Component::setProperty(name, value);
}

void Control::createParams(CreateParams& p) {
  p.style = WS_CHILD | WS_CLIPSIBLINGS;
  if (visible_) p.style |= WS_VISIBLE;
  if (!enabled_) p.style |= WS_DISABLED;
  p.id = id_;
}

void Control::createHandle() {
  if (hasHandle()) return;
  if (parent_ && !parent_->hasHandle()) parent_->createHandle();
  createWindow();
}

void Control::createWindow() {
  CreateParams p;
  createParams(p);
  HWND parent = parent_ ? parent_->handle() : nullptr;
  HMENU id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(p.id));
  if (p.ownClass)
    createOwnWindow(p.exStyle, p.className, caption_.c_str(), p.style, x_, y_, w_, h_, parent, id);
  else
    createSubclassed(p.exStyle, p.className, caption_.c_str(), p.style, x_, y_, w_, h_, parent, id);
  if (HFONT f = font()) ::SendMessageA(handle(), WM_SETFONT, reinterpret_cast<WPARAM>(f), FALSE);
  afterCreateWindow();
}

// ---- bounds

namespace {
RECT boundsInParent(HWND hwnd) {
  RECT r;
  ::GetWindowRect(hwnd, &r);
  HWND parent = ::GetAncestor(hwnd, GA_PARENT);
  if (parent && parent != ::GetDesktopWindow() && (::GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD))
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}
}  // namespace

int Control::left() const { return hasHandle() ? boundsInParent(handle()).left : x_; }
int Control::top() const { return hasHandle() ? boundsInParent(handle()).top : y_; }
int Control::width() const {
  if (!hasHandle()) return w_;
  RECT r = boundsInParent(handle());
  return r.right - r.left;
}
int Control::height() const {
  if (!hasHandle()) return h_;
  RECT r = boundsInParent(handle());
  return r.bottom - r.top;
}
void Control::setLeft(int v) { setBounds(v, top(), width(), height()); }
void Control::setTop(int v) { setBounds(left(), v, width(), height()); }
void Control::setWidth(int v) { setBounds(left(), top(), v, height()); }
void Control::setHeight(int v) { setBounds(left(), top(), width(), v); }

void Control::setBounds(int x, int y, int w, int h) {
  x_ = x;
  y_ = y;
  w_ = w;
  h_ = h;
  if (hasHandle()) ::SetWindowPos(handle(), nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT Control::clientRect() const {
  RECT r{0, 0, w_, h_};
  if (hasHandle()) ::GetClientRect(handle(), &r);
  return r;
}

void Control::setAlign(Align a) {
  align_ = a;
  if (parent_) parent_->realign();
}

void Control::realign() { layoutChildren(); }

void Control::layoutChildren() {
  if (!hasHandle()) return;
  RECT r = clientRect();
  // A standard control that changes size repaints only what was uncovered: a
  // centred label would show its text twice, a status bar its old size grip.
  // A resized child is drawn again whole.
  auto place = [](Control* c, int x, int y, int w, int h) {
    const bool resized = c->hasHandle() && (c->width() != w || c->height() != h);
    c->setBounds(x, y, w, h);
    if (resized) ::InvalidateRect(c->handle(), nullptr, TRUE);
  };
  // Top-aligned children first, in order, then bottom-aligned ones, then the rest.
  for (Control* c : children_) {
    if (c->align_ != Align::Top || !c->visible_) continue;
    int h = c->hasHandle() ? c->height() : c->h_;
    place(c, r.left, r.top, r.right - r.left, h);
    r.top += h;
  }
  for (Control* c : children_) {
    if (c->align_ != Align::Bottom || !c->visible_) continue;
    int h = c->hasHandle() ? c->height() : c->h_;
    r.bottom -= h;
    place(c, r.left, r.bottom, r.right - r.left, h);
  }
  for (Control* c : children_) {
    if (c->align_ != Align::Client || !c->visible_) continue;
    place(c, r.left, r.top, std::max(0L, r.right - r.left), std::max(0L, r.bottom - r.top));
  }
}

// ---- text and state

std::string Control::caption() const {
  if (!hasHandle()) return caption_;
  int n = ::GetWindowTextLengthA(handle());
  std::string s(static_cast<std::size_t>(n) + 1, '\0');
  n = ::GetWindowTextA(handle(), s.data(), n + 1);
  s.resize(static_cast<std::size_t>(std::max(n, 0)));
  return s;
}

void Control::setCaption(const std::string& text) {
  caption_ = text;
  if (hasHandle()) ::SetWindowTextA(handle(), text.c_str());
}

void Control::setEnabled(bool on) {
  enabled_ = on;
  if (hasHandle()) ::EnableWindow(handle(), on);
}

void Control::setVisible(bool on) {
  bool changed = visible_ != on;
  visible_ = on;
  if (hasHandle()) ::ShowWindow(handle(), on ? SW_SHOW : SW_HIDE);
  if (changed && parent_ && align_ != Align::None) parent_->realign();
}

void Control::setFocus() {
  if (hasHandle()) ::SetFocus(handle());
}

void Control::invalidate() {
  if (hasHandle()) ::InvalidateRect(handle(), nullptr, TRUE);
}

void Control::update() {
  if (hasHandle()) ::UpdateWindow(handle());
}

std::string Control::hintAt(POINT) const { return hint_; }

// ---- font and colours

void Control::setFont(const FontDesc& f) {
  fontDesc_ = f;
  font_.reset();
  if (f.color != CLR_INVALID) fontColor_ = f.color;
  if (hasHandle()) {
    ::SendMessageA(handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font()), TRUE);
  }
}

HFONT Control::font() const {
  if (font_) return static_cast<HFONT>(font_.get());
  if (fontDesc_.name || fontDesc_.height || fontDesc_.bold) {
    // What the row leaves out comes from the parent's description.
    FontDesc merged = fontDesc_;
    for (const Control* p = parent_; p && (!merged.name || !merged.height); p = p->parent_) {
      if (!merged.name) merged.name = p->fontDesc_.name;
      if (!merged.height) merged.height = p->fontDesc_.height;
    }
    LOGFONTA lf{};
    lf.lfHeight = -(merged.height ? merged.height : 12);
    lf.lfWeight = merged.bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = SHIFTJIS_CHARSET;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    if (merged.name) ::lstrcpynA(lf.lfFaceName, merged.name, LF_FACESIZE);
    const_cast<GdiObject&>(font_).reset(::CreateFontIndirectA(&lf));
    return static_cast<HFONT>(font_.get());
  }
  if (parent_) return parent_->font();
  return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
}

void Control::setFontColor(COLORREF c) {
  fontColor_ = c;
  invalidate();
}

void Control::setColor(COLORREF c) {
  color_ = c;
  brush_.reset();
  invalidate();
}

COLORREF Control::color() const {
  if (color_ != CLR_INVALID) return color_;
  if (parent_) return parent_->color();
  return ::GetSysColor(COLOR_BTNFACE);
}

HBRUSH Control::backgroundBrush() const {
  if (color_ != CLR_INVALID) {
    if (!brush_) brush_.reset(::CreateSolidBrush(color_));
    return static_cast<HBRUSH>(brush_.get());
  }
  if (parent_) return parent_->backgroundBrush();
  return ::GetSysColorBrush(COLOR_BTNFACE);
}

LRESULT Control::ctlColor(HDC dc) {
  if (fontColor_ != CLR_INVALID) ::SetTextColor(dc, fontColor_);
  ::SetBkColor(dc, color());
  return reinterpret_cast<LRESULT>(backgroundBrush());
}

void Control::click() {
  if (onClick) onClick(*this);
}

void Control::paintWindow(HDC) {}

Control* Control::fromHandle(HWND hwnd) {
  for (HWND h = hwnd; h; h = ::GetAncestor(h, GA_PARENT)) {
    if (h == ::GetDesktopWindow()) break;
    if (auto* c = dynamic_cast<Control*>(Window::fromHandle(h))) return c;
  }
  return nullptr;
}

// ---- messages

namespace {

// The child window a parent notification is about, or nullptr.
HWND notifyingChild(HWND self, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_COMMAND:
      return reinterpret_cast<HWND>(l);
    case WM_NOTIFY:
      return reinterpret_cast<NMHDR*>(l)->hwndFrom;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORDLG:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CHARTOITEM:
    case WM_VKEYTOITEM:
      return reinterpret_cast<HWND>(l);
    case WM_DRAWITEM: {
      auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(l);
      return d->CtlType == ODT_MENU ? nullptr : d->hwndItem;
    }
    case WM_MEASUREITEM: {
      auto* m = reinterpret_cast<MEASUREITEMSTRUCT*>(l);
      return m->CtlType == ODT_MENU ? nullptr : ::GetDlgItem(self, static_cast<int>(w));
    }
    case WM_COMPAREITEM:
      return reinterpret_cast<COMPAREITEMSTRUCT*>(l)->hwndItem;
    case WM_DELETEITEM:
      return reinterpret_cast<DELETEITEMSTRUCT*>(l)->hwndItem;
  }
  return nullptr;
}

}  // namespace

LRESULT Control::handleMessage(UINT msg, WPARAM w, LPARAM l) {
  if (HWND child = notifyingChild(handle(), msg, w, l)) {
    auto* c = dynamic_cast<Control*>(Window::fromHandle(child));
    if (c && c != this && c->parent_ == this) return c->handleMessage(CN_BASE + msg, w, l);
  }
  switch (msg) {
    case CN_CTLCOLORSTATIC:
    case CN_CTLCOLORBTN: {
      // Static-like controls take the colours of the nearest control that has its own.
      bool custom = fontColor_ != CLR_INVALID;
      for (const Control* c = this; c && !custom; c = c->parent_) custom = c->color_ != CLR_INVALID;
      if (custom) return ctlColor(reinterpret_cast<HDC>(w));
      break;
    }
    case CN_CTLCOLOREDIT:
    case CN_CTLCOLORLISTBOX:
      if (fontColor_ != CLR_INVALID || color_ != CLR_INVALID) return ctlColor(reinterpret_cast<HDC>(w));
      break;
    case WM_PAINT:
      if (!subclassed()) {
        if (w) {
          paintWindow(reinterpret_cast<HDC>(w));
          return 0;
        }
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(handle(), &ps);
        paintWindow(dc);
        ::EndPaint(handle(), &ps);
        return 0;
      }
      break;
    case WM_SIZE:
      if (!children_.empty()) layoutChildren();
      break;
    case WM_DESTROY:
      beforeDestroyWindow();
      break;
  }
  return defaultHandler(msg, w, l);
}

LRESULT Control::defaultHandler(UINT msg, WPARAM w, LPARAM l) {
  // A reflected message nobody handled gets the answer the parent would have given.
  if (isReflected(msg)) {
    HWND parent = parent_ && parent_->hasHandle() ? parent_->handle() : nullptr;
    return parent ? ::DefWindowProcA(parent, msg - CN_BASE, w, l) : 0;
  }
  return Window::defaultHandler(msg, w, l);
}

}  // namespace pv::win
