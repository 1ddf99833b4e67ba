// Window skeleton, components and controls as the forms see them.
//
// Every window we own runs its messages through Window::dispatch: the one
// exception barrier (an exception that escapes a handler goes to
// Application::handleException, never across the window procedure) and the
// virtual handleMessage. Our own classes hand `this` over at WM_NCCREATE; the
// standard control classes are subclassed after creation, keeping their original
// procedure for defaultHandler.
//
// Containers (forms, tab sheets) reflect WM_COMMAND, WM_NOTIFY, WM_CTLCOLOR*,
// WM_DRAWITEM and the other parent notifications to the child's object as
// CN_BASE + message and answer with what the child returns; a check box thus sees
// WM_CTLCOLORSTATIC as 0xBD38.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "win/handle.h"

namespace pv::win {

class Form;
class Control;

// ------------------------------------------------------------ reflected messages
constexpr UINT CN_BASE = 0xBC00;
constexpr UINT CN_COMMAND = CN_BASE + WM_COMMAND;
constexpr UINT CN_NOTIFY = CN_BASE + WM_NOTIFY;
constexpr UINT CN_DRAWITEM = CN_BASE + WM_DRAWITEM;
constexpr UINT CN_MEASUREITEM = CN_BASE + WM_MEASUREITEM;
constexpr UINT CN_CTLCOLORBTN = CN_BASE + WM_CTLCOLORBTN;
constexpr UINT CN_CTLCOLOREDIT = CN_BASE + WM_CTLCOLOREDIT;
constexpr UINT CN_CTLCOLORLISTBOX = CN_BASE + WM_CTLCOLORLISTBOX;
constexpr UINT CN_CTLCOLORSTATIC = CN_BASE + WM_CTLCOLORSTATIC;  // 0xBD38
constexpr UINT CN_HSCROLL = CN_BASE + WM_HSCROLL;
constexpr UINT CN_VSCROLL = CN_BASE + WM_VSCROLL;
inline bool isReflected(UINT msg) { return msg >= CN_BASE && msg < CN_BASE + WM_USER; }

// ------------------------------------------------------------ Window
// A window whose messages we handle. Does not own child windows beyond the
// system's rule that a parent destroys its children.
class Window {
 public:
  Window() = default;
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND handle() const { return hwnd_; }
  bool hasHandle() const { return hwnd_ != nullptr; }
  // Sends msg to this window (through its procedure, so subclasses see it).
  LRESULT perform(UINT msg, WPARAM w = 0, LPARAM l = 0) const;

  // Our object behind a window, or nullptr for a foreign window.
  static Window* fromHandle(HWND hwnd);

  // Registers one of our own window classes (idempotent); the procedure hands
  // the window to the object passed as lpCreateParams of CreateWindowEx.
  static void registerClass(const char* className, UINT style = CS_DBLCLKS,
                            HBRUSH background = nullptr, HICON icon = nullptr);

 protected:
  // The message entry of derived classes: switch on what you handle and call the
  // base class for the rest. The base ends in defaultHandler.
  virtual LRESULT handleMessage(UINT msg, WPARAM w, LPARAM l);
  // What happens to a message nobody handled: the original procedure of a
  // subclassed control, DefWindowProcA for our own classes.
  virtual LRESULT defaultHandler(UINT msg, WPARAM w, LPARAM l);
  // Hooks around the life of the window.
  virtual void afterCreateWindow() {}
  virtual void beforeDestroyWindow() {}

  // Creates a window of one of our registered classes for this object.
  HWND createOwnWindow(DWORD exStyle, const char* className, const char* text, DWORD style,
                       int x, int y, int w, int h, HWND parent, HMENU menuOrId);
  // Creates a window of a standard class and subclasses it for this object.
  HWND createSubclassed(DWORD exStyle, const char* className, const char* text, DWORD style,
                        int x, int y, int w, int h, HWND parent, HMENU menuOrId);
  // Destroys the window (children with it); no-op without one.
  void destroyHandle();
  // True for a subclassed standard control, false for one of our own classes.
  bool subclassed() const { return original_ != nullptr; }

 private:
  static LRESULT CALLBACK ownClassProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l);
  static LRESULT CALLBACK subclassProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l);
  LRESULT dispatch(UINT msg, WPARAM w, LPARAM l) noexcept;
  void attach(HWND hwnd);
  void detach();

  HWND hwnd_ = nullptr;
  WNDPROC original_ = nullptr;  // nullptr: one of our own classes
};

// ------------------------------------------------------------ Component
// Something a form holds and names: controls and non-visual parts. A form builds
// its components from its description, sets their properties, and then calls
// loaded() on each once the whole form exists.
class Component {
 public:
  Component() = default;
  virtual ~Component() = default;
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  const std::string& name() const { return name_; }
  Form* owner() const { return owner_; }

  // A property from the form's description ("Mode", "amLha"). Unknown names
  // throw pv::Error: a description that does not fit its class is a bug.
  virtual void setProperty(std::string_view name, std::string_view value);
  // Called once after the owning form and all its components have been built.
  virtual void loaded() {}

  void setOwner(Form* owner, std::string name) {
    owner_ = owner;
    name_ = std::move(name);
  }

 private:
  Form* owner_ = nullptr;
  std::string name_;
};

// Factory for a component class named in a description row.
using Factory = Component* (*)();
template <class T>
Component* create() {
  return new T();
}

// ------------------------------------------------------------ descriptions
enum class Kind {
  Label,          // STATIC text
  Button,         // push button
  Edit,           // one-line edit box
  CheckBox,
  ListBox,
  ToolBar,
  ToolButton,     // a button of the ToolBar named as parent
  ToolSeparator,  // a separator of the ToolBar named as parent
  StatusBar,
  PageControl,    // tab control holding the TabSheets that name it as parent
  TabSheet,
  ProgressBar,
  Image,          // icon picture
  ImageList,      // non-visual: pictures for a toolbar
  Custom,         // any Control, made by the row's factory
  Component,      // any non-visual Component, made by the row's factory
};

// Flags of a description row (a form's flags are FormFlags below).
namespace opt {
constexpr unsigned AlignTop = 0x0001;     // full width at the top of the parent
constexpr unsigned AlignBottom = 0x0002;  // full width at the bottom
constexpr unsigned AlignClient = 0x0004;  // the space that is left
constexpr unsigned Centre = 0x0010;       // label text centred
constexpr unsigned Right = 0x0020;        // label text right-aligned
constexpr unsigned ReadOnly = 0x0040;     // edit box
constexpr unsigned Default = 0x0080;      // button: Enter presses it; id IDOK, modal result OK
constexpr unsigned Cancel = 0x0100;       // button: Escape presses it; id IDCANCEL, modal result Cancel
constexpr unsigned AutoDrag = 0x0200;     // list box: pressing on an item and moving drags it
constexpr unsigned Disabled = 0x0400;
constexpr unsigned Hidden = 0x0800;
constexpr unsigned Checked = 0x1000;      // check box ticked at start
constexpr unsigned NoTabStop = 0x2000;
constexpr unsigned Sorted = 0x4000;       // list box
constexpr unsigned Flat = 0x8000;         // toolbar
}  // namespace opt

struct FontDesc {
  const char* name = nullptr;  // nullptr: the parent's font
  int height = 0;              // pixels (the font is made with lfHeight = -height)
  bool bold = false;
  COLORREF color = CLR_INVALID;  // CLR_INVALID: the window text colour
};

// One row of a form's table: what the stored form description says of a control.
// Rows are built in order, so a parent comes before its children.
struct ControlDesc {
  Kind kind;
  const char* name;
  const char* parent;  // nullptr: the form; else the name of a container row
  int left, top, width, height;
  const char* caption = "";
  unsigned flags = 0;            // opt::
  const char* hint = nullptr;    // "short|long"; the status bar shows the long part
  int image = -1;                // picture number of a tool button
  int helpContext = 0;
  FontDesc font = {};
  Factory factory = nullptr;     // for Custom and Component rows (or a derived class)
  const char* props = nullptr;   // further properties: "Name=Value;Name=Value"
};

// Flags of a form description.
namespace formopt {
constexpr unsigned Sizeable = 0x0001;     // resizable frame (the default is a fixed dialog frame)
constexpr unsigned Dialog = 0x0002;       // fixed dialog frame
constexpr unsigned NoSysMenu = 0x0004;    // no system menu, hence no close box
constexpr unsigned HelpButton = 0x0008;   // title-bar "?" button
constexpr unsigned MinMax = 0x0010;       // minimise and maximise boxes
constexpr unsigned ClientSize = 0x0020;   // width/height are the client area
constexpr unsigned ScreenCentre = 0x0040; // placed at the centre of the screen
constexpr unsigned Single = 0x0080;       // single fixed frame (not a dialog frame)
constexpr unsigned ToolWindow = 0x0100;   // small caption of a tool window
constexpr unsigned StayOnTop = 0x0200;    // above all windows that are not topmost
}  // namespace formopt

struct FormDesc {
  const char* name;
  const char* caption;
  int left, top, width, height;
  unsigned flags = 0;  // formopt::
  FontDesc font = {};
  COLORREF color = CLR_INVALID;  // CLR_INVALID: the button face colour
};

// ------------------------------------------------------------ Control
enum class Align { None, Top, Bottom, Client };

// Event handlers a form can wire by control name.
using NotifyEvent = std::function<void(Control& sender)>;
// Answers whether a drop of source at point (client coordinates of sender) is accepted.
using DragOverEvent = std::function<bool(Control& sender, Control& source, POINT pt)>;
using DragDropEvent = std::function<void(Control& sender, Control& source, POINT pt)>;

class Control : public Component, public Window {
 public:
  Control() = default;
  ~Control() override;

  // Takes what the description row says; called by the form before creation.
  virtual void applyDesc(const ControlDesc& d);
  void setProperty(std::string_view name, std::string_view value) override;

  // Creates the window (under the parent's window) if it does not exist yet.
  void createHandle();

  Control* parentControl() const { return parent_; }
  void setParentControl(Control* parent) { parent_ = parent; }
  const std::vector<Control*>& childControls() const { return children_; }
  // The form this control sits on (itself for a form).
  Form* form() const;

  // Position relative to the parent's client area (outer position for a form).
  int left() const;
  int top() const;
  int width() const;
  int height() const;
  void setLeft(int v);
  void setTop(int v);
  void setWidth(int v);
  void setHeight(int v);
  void setBounds(int x, int y, int w, int h);
  RECT clientRect() const;
  Align align() const { return align_; }
  void setAlign(Align a);

  std::string caption() const;  // the window text
  void setCaption(const std::string& text);
  bool enabled() const { return enabled_; }
  virtual void setEnabled(bool on);
  bool visible() const { return visible_; }
  virtual void setVisible(bool on);
  void setFocus();
  void invalidate();
  void update();  // repaints at once what is invalid
  void repaint() { invalidate(); update(); }

  const std::string& hint() const { return hint_; }
  void setHint(std::string h) { hint_ = std::move(h); }
  // The hint for a point in this control (client coordinates); controls with
  // parts (toolbars) answer the part's hint.
  virtual std::string hintAt(POINT pt) const;
  int helpContext() const { return helpContext_; }
  void setHelpContext(int c) { helpContext_ = c; }
  // A 3-D look is asked for (themed drawing is allowed).
  bool ctl3D() const { return ctl3D_; }
  void setCtl3D(bool on) { ctl3D_ = on; }

  // Font from name and pixel height (Shift-JIS character set).
  void setFont(const FontDesc& f);
  HFONT font() const;
  COLORREF fontColor() const { return fontColor_; }
  void setFontColor(COLORREF c);
  // Background: the own colour when set, else the parent's (a form's is the button face).
  void setColor(COLORREF c);
  COLORREF color() const;
  HBRUSH backgroundBrush() const;

  // Events wired by the form (Form::on).
  NotifyEvent onClick;
  NotifyEvent onDblClick;
  NotifyEvent onChange;
  DragOverEvent onDragOver;
  DragDropEvent onDragDrop;

  // Drag machinery: a source starts a drag; the drag runs with the mouse
  // captured and asks the control under the mouse through dragOver/dragDrop.
  void beginDrag();
  bool dragging() const;
  bool dragOver(Control& source, POINT pt);
  void dragDrop(Control& source, POINT pt);

  // Lays out the aligned children in the client area.
  void realign();
  // The control behind a window (or behind the nearest ancestor that is ours).
  static Control* fromHandle(HWND hwnd);

 protected:
  struct CreateParams {
    const char* className = nullptr;
    bool ownClass = false;  // one of our registered classes (else a subclassed standard one)
    DWORD style = WS_CHILD;
    DWORD exStyle = 0;
    int id = 0;
  };
  // Class and styles of the window to create; derived classes fill it.
  virtual void createParams(CreateParams& p);
  virtual void createWindow();
  LRESULT handleMessage(UINT msg, WPARAM w, LPARAM l) override;
  // Reflected messages nobody handled get the parent's default answer.
  LRESULT defaultHandler(UINT msg, WPARAM w, LPARAM l) override;
  // Paints a control of one of our own classes (WM_PAINT between BeginPaint and EndPaint).
  virtual void paintWindow(HDC dc);
  // The answer to a reflected WM_CTLCOLOR*: the colours of this control.
  virtual LRESULT ctlColor(HDC dc);
  // Fires onClick (and what a click means to the control, such as a modal result).
  virtual void click();
  // Default child window id.
  int controlId() const { return id_; }

  const ControlDesc* desc_ = nullptr;

 private:
  friend class Form;
  void layoutChildren();

  Control* parent_ = nullptr;
  std::vector<Control*> children_;
  Align align_ = Align::None;
  int x_ = 0, y_ = 0, w_ = 0, h_ = 0;  // last known bounds
  std::string caption_;
  std::string hint_;
  int helpContext_ = 0;
  int id_ = 0;
  unsigned flags_ = 0;
  bool enabled_ = true;
  bool visible_ = true;
  bool ctl3D_ = true;
  FontDesc fontDesc_;
  GdiObject font_;
  COLORREF fontColor_ = CLR_INVALID;
  COLORREF color_ = CLR_INVALID;
  mutable GdiObject brush_;
};

}  // namespace pv::win
