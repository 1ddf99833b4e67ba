// Forms built from data: a FormDesc for the window and one table of ControlDesc
// rows for everything on it, wired to member functions by control name.
//
//   const FormDesc kForm = {"Form1", "Pomvault", 0, 0, 418, 277, formopt::Sizeable | formopt::MinMax,
//                           {"ＭＳ Ｐゴシック", 12}};
//   const ControlDesc kControls[] = {
//     {Kind::ToolBar, "ToolBar1", nullptr, 0, 0, 0, 37, "", opt::AlignTop | opt::Flat},
//     {Kind::ToolButton, "NewBtn", "ToolBar1", 0, 0, 0, 0, "新規", 0, "|新規の...", 4},
//     ...
//   };
//   TForm1::TForm1() : Form(kForm, kControls) {
//     on("NewBtn", Click, &TForm1::NewBtnClick);
//     onCreate(&TForm1::FormCreate);
//   }
//   auto form = createForm<TForm1>();   // builds windows, loaded(), then FormCreate
//
// Typed access to a control: find<ListBox>("BDList") (throws when missing).
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "win/window.h"

namespace pv::win {

// Modal results (the values of the dialog ids).
constexpr int mrNone = 0;
constexpr int mrOk = IDOK;
constexpr int mrCancel = IDCANCEL;

// Events that take only the sender.
enum class Event { Click, DblClick, Change };
constexpr Event Click = Event::Click;
constexpr Event DblClick = Event::DblClick;
constexpr Event Change = Event::Change;
struct DragOverTag {};
struct DragDropTag {};
constexpr DragOverTag DragOver{};
constexpr DragDropTag DragDrop{};

class Form : public Control {
 public:
  template <std::size_t N>
  Form(const FormDesc& desc, const ControlDesc (&rows)[N]) : Form(desc, rows, N) {}
  explicit Form(const FormDesc& desc) : Form(desc, nullptr, 0) {}
  Form(const FormDesc& desc, const ControlDesc* rows, std::size_t count);
  // Destroys the window without running the form's handlers (the derived object
  // is gone by then); call close() or destroyForm() first to have them run.
  ~Form() override;

  // Creates the window and the controls in table order, hands each component its
  // properties, calls loaded() on all, then the create handler. createForm() calls it.
  void build();
  bool built() const { return built_; }

  // Component by name (nullptr when missing) and typed (throws when missing or of another class).
  Component* findComponent(std::string_view name) const;
  template <class T>
  T& find(std::string_view name) const {
    T* c = dynamic_cast<T*>(findComponent(name));
    if (!c) missingComponent(name);
    return *c;
  }
  const std::vector<std::unique_ptr<Component>>& components() const { return components_; }
  // Takes over a component made in code (after the table ones).
  Component& addComponent(std::unique_ptr<Component> c, std::string name);

  // Wiring by control name.
  template <class F>
  void on(std::string_view control, Event e, void (F::*h)(Control&)) {
    NotifyEvent fn = [this, h](Control& s) { (static_cast<F*>(this)->*h)(s); };
    bindNotify(control, e, std::move(fn));
  }
  template <class F>
  void on(std::string_view control, DragOverTag, bool (F::*h)(Control&, Control&, POINT)) {
    find<Control>(control).onDragOver = [this, h](Control& s, Control& src, POINT p) {
      return (static_cast<F*>(this)->*h)(s, src, p);
    };
  }
  template <class F>
  void on(std::string_view control, DragDropTag, void (F::*h)(Control&, Control&, POINT)) {
    find<Control>(control).onDragDrop = [this, h](Control& s, Control& src, POINT p) {
      (static_cast<F*>(this)->*h)(s, src, p);
    };
  }
  // The form's own events.
  template <class F>
  void onCreate(void (F::*h)()) { createHandler_ = [this, h] { (static_cast<F*>(this)->*h)(); }; }
  template <class F>
  void onDestroy(void (F::*h)()) { destroyHandler_ = [this, h] { (static_cast<F*>(this)->*h)(); }; }
  template <class F>
  void onActivate(void (F::*h)()) { activateHandler_ = [this, h] { (static_cast<F*>(this)->*h)(); }; }
  // The handler answers false to keep the form open.
  template <class F>
  void onCloseQuery(bool (F::*h)()) { closeQueryHandler_ = [this, h] { return (static_cast<F*>(this)->*h)(); }; }

  // Showing and closing.
  void show();
  void hide();
  // Asks the close handler; a modal form then ends its loop with mrCancel,
  // a modeless one is destroyed (the main form's destruction ends the program).
  void close();
  // Shows the form modally: other windows of the program are disabled until the
  // form sets a modal result (a Default/Cancel button, Escape, the close box).
  int showModal();
  int modalResult() const { return modalResult_; }
  // Also wakes the modal loop: a result set inside a message sent from another
  // thread (BM_CLICK from an accessibility tool) leaves nothing in the queue.
  void setModalResult(int r);
  bool modal() const { return inModal_; }
  // Destroys the window now, running the destroy handler.
  void destroyForm();

  // The keyboard of a modal form, before the platform's dialog handling: Tab and
  // Shift+Tab walk the tab stops of the shown controls depth first in creation
  // order (into pages through their page control), Ctrl+Tab, Ctrl+Shift+Tab,
  // Ctrl+PgDn and Ctrl+PgUp switch pages, Enter presses a focused push button.
  // True when the message was handled.
  bool dialogKey(const MSG& m);

  bool maximized() const;
  bool minimized() const;
  // Outer bounds of the restored window, also while maximised or minimised.
  RECT normalBounds() const;
  HMENU systemMenu() const;

 protected:
  void createParams(CreateParams& p) override;
  void createWindow() override;
  LRESULT handleMessage(UINT msg, WPARAM w, LPARAM l) override;

 private:
  [[noreturn]] static void missingComponent(std::string_view name);
  void bindNotify(std::string_view control, Event e, NotifyEvent fn);
  bool handleDialogCommand(int id);
  LRESULT handleHelp(const HELPINFO* info);

  FormDesc formDesc_;
  std::vector<ControlDesc> rows_;
  std::vector<std::unique_ptr<Component>> components_;
  std::function<void()> createHandler_, destroyHandler_, activateHandler_;
  std::function<bool()> closeQueryHandler_;
  int modalResult_ = mrNone;
  bool inModal_ = false;
  bool built_ = false;
  bool destroying_ = false;
};

// Makes a form and builds it (windows, loaded(), create handler).
template <class T, class... Args>
std::unique_ptr<T> createForm(Args&&... args) {
  auto f = std::make_unique<T>(std::forward<Args>(args)...);
  f->build();
  return f;
}

}  // namespace pv::win
