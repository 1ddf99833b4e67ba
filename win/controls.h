// The controls forms are made of. Each wraps a standard window class (or one of
// ours) and keeps the state the form needs; events are the Control's onClick etc.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "win/handle.h"
#include "win/window.h"

namespace pv::win {

class ImageList;

// Static text; opt::Centre / opt::Right align it.
class Label : public Control {
 protected:
  void createParams(CreateParams& p) override;
};

// Push button. A modal result (opt::Default = OK, opt::Cancel = Cancel, or set in
// code) closes a modal form when the button is pressed.
class Button : public Control {
 public:
  int modalResult() const { return modalResult_; }
  void setModalResult(int r) { modalResult_ = r; }
  void applyDesc(const ControlDesc& d) override;
  void press() { click(); }

 protected:
  void createParams(CreateParams& p) override;
  LRESULT handleMessage(UINT msg, WPARAM w, LPARAM l) override;
  void click() override;

 private:
  int modalResult_ = 0;
};

// Check box (automatic). onClick follows every change by the user.
class CheckBox : public Control {
 public:
  bool checked() const;
  void setChecked(bool on);
  void applyDesc(const ControlDesc& d) override;

 protected:
  void createParams(CreateParams& p) override;
  void afterCreateWindow() override;
  LRESULT handleMessage(UINT msg, WPARAM w, LPARAM l) override;

 private:
  bool checked_ = false;
};

// One-line edit box; onChange on every change, onDblClick on a double click.
class Edit : public Control {
 public:
  std::string text() const { return caption(); }
  void setText(const std::string& t) { setCaption(t); }
  bool readOnly() const { return readOnly_; }
  void setReadOnly(bool on);
  void applyDesc(const ControlDesc& d) override;

 protected:
  void createParams(CreateParams& p) override;
  LRESULT handleMessage(UINT msg, WPARAM w, LPARAM l) override;

 private:
  bool readOnly_ = false;
};

// Multi-line edit box: no word wrap, both scroll bars; lines end in CR LF.
class Memo : public Edit {
 public:
  void setLines(const std::vector<std::string>& lines);

 protected:
  void createParams(CreateParams& p) override;
};

// List box with one string and one associated pointer per item. onClick follows a
// change of the selection by the user, onDblClick a double click. With opt::AutoDrag
// a press on an item followed by a move starts a drag (Control::beginDrag).
class ListBox : public Control {
 public:
  int count() const;
  std::string item(int index) const;
  std::vector<std::string> items() const;
  void setItems(const std::vector<std::string>& items);  // replaces all; data becomes null
  int addItem(const std::string& text, void* data = nullptr);
  void insertItem(int index, const std::string& text, void* data = nullptr);
  void deleteItem(int index);
  void clear();
  void* itemData(int index) const;
  void setItemData(int index, void* data);
  int itemIndex() const;  // selected item, -1 for none
  void setItemIndex(int index);
  // Exact, case-insensitive search of the whole list; -1 when absent.
  int findExact(const std::string& text) const;
  // The item at a client point. Outside the client area: -1. Below the last item:
  // -1 when existing, else the last item (-1 for an empty list).
  int itemAtPos(POINT pt, bool existing) const;
  RECT itemRect(int index) const;
  bool autoDrag() const { return autoDrag_; }
  void setAutoDrag(bool on) { autoDrag_ = on; }
  void applyDesc(const ControlDesc& d) override;

 protected:
  void createParams(CreateParams& p) override;
  LRESULT handleMessage(UINT msg, WPARAM w, LPARAM l) override;

 private:
  bool autoDrag_ = false;
  bool pressPending_ = false;
  POINT pressPoint_{};
  int pressItem_ = -1;
  int notifiedIndex_ = -1;
};

// Non-visual: the pictures of a toolbar. Properties: Width, Height, Bitmap
// (resource name of a strip of pictures), Mask (RRGGBB colour that is transparent;
// without it the bitmap's alpha channel is used).
class ImageList : public Component {
 public:
  HIMAGELIST handle() const { return static_cast<HIMAGELIST>(list_.get()); }
  int width() const { return width_; }
  int height() const { return height_; }
  int count() const;
  void setProperty(std::string_view name, std::string_view value) override;
  void loaded() override;
  // Adds the pictures of a bitmap strip (alpha when mask is CLR_INVALID).
  void addBitmap(HBITMAP strip, COLORREF mask);

 private:
  void ensureList(bool alpha);
  ImageListHandle list_;
  int width_ = 16, height_ = 16;
  std::string bitmap_;
  COLORREF mask_ = CLR_INVALID;
};

class ToolBar;

// A toolbar button: a component, not a window. Caption under the picture.
class ToolButton : public Component {
 public:
  const std::string& caption() const { return caption_; }
  const std::string& hint() const { return hint_; }
  int imageIndex() const { return image_; }
  bool enabled() const { return enabled_; }
  void setEnabled(bool on);
  bool separator() const { return separator_; }
  int commandId() const { return id_; }
  ToolBar* toolBar() const { return bar_; }
  void click();  // what pressing it does: onClick
  NotifyEvent onClick;

 private:
  friend class ToolBar;
  friend class Form;
  ToolBar* bar_ = nullptr;
  std::string caption_, hint_;
  int image_ = -1;
  int id_ = 0;
  bool enabled_ = true;
  bool separator_ = false;
};

// Flat toolbar, captions under the pictures, a line along its bottom edge, no
// tooltips (hints go to the status bar through the application).
class ToolBar : public Control {
 public:
  void applyDesc(const ControlDesc& d) override;
  void setProperty(std::string_view name, std::string_view value) override;
  // Buttons in order, separators included.
  const std::vector<ToolButton*>& buttons() const { return buttons_; }
  void addButton(ToolButton& b);
  void setImages(ImageList* list);
  void setDisabledImages(ImageList* list);
  ImageList* images() const { return images_; }
  ImageList* disabledImages() const { return disabled_; }
  void setButtonSize(int w, int h);
  int buttonWidth() const { return buttonW_; }
  int buttonHeight() const { return buttonH_; }
  // Index of the button at a client point (-1 for none or a separator).
  int buttonAt(POINT pt) const;
  // Client width that shows every button whole (the indent on both sides); 0 before creation.
  int fullWidth() const;
  std::string hintAt(POINT pt) const override;
  void loaded() override;

 protected:
  void createParams(CreateParams& p) override;
  void afterCreateWindow() override;
  LRESULT handleMessage(UINT msg, WPARAM w, LPARAM l) override;

 private:
  friend class ToolButton;
  void syncButtons();
  LRESULT customDraw(NMTBCUSTOMDRAW* cd);
  void drawButton(const ToolButton& b, HDC dc, RECT rc, UINT state);
  std::vector<ToolButton*> buttons_;
  std::vector<std::string> texts_;
  ImageList* images_ = nullptr;
  ImageList* disabled_ = nullptr;
  std::string imagesName_, disabledName_;
  int buttonW_ = 45, buttonH_ = 35;
  int indent_ = 6;
};

// Status bar with one simple panel.
class StatusBar : public Control {
 public:
  void setSimpleText(const std::string& text);
  const std::string& simpleText() const { return simpleText_; }

 protected:
  void createParams(CreateParams& p) override;
  void afterCreateWindow() override;
  LRESULT handleMessage(UINT msg, WPARAM w, LPARAM l) override;

 private:
  std::string simpleText_;
};

class TabSheet;

// Tab control holding tab sheets (child windows placed in its display area, one
// visible at a time). onChange follows a page change by the user.
class PageControl : public Control {
 public:
  int pageCount() const { return static_cast<int>(pages_.size()); }
  TabSheet& page(int index) const { return *pages_.at(static_cast<std::size_t>(index)); }
  int activePageIndex() const { return active_; }
  TabSheet* activePage() const;
  // Selects a page without onChange.
  void setActivePageIndex(int index);
  // The next (or previous) page, wrapping round, as the user's choice: onChange follows.
  void selectNext(bool forward);
  void addPage(TabSheet& sheet);
  // The area of a page, in client coordinates of the tab control.
  RECT displayRect() const;

 protected:
  void createParams(CreateParams& p) override;
  void afterCreateWindow() override;
  LRESULT handleMessage(UINT msg, WPARAM w, LPARAM l) override;

 private:
  void showActive();
  std::vector<TabSheet*> pages_;
  int active_ = -1;
};

// A page of a page control: a container of our own class. Its caption is the tab
// text. Derived classes may draw the background in WM_ERASEBKGND and paintWindow.
class TabSheet : public Control {
 public:
  PageControl* pageControl() const;
  int pageIndex() const;

 protected:
  void createParams(CreateParams& p) override;
  void afterCreateWindow() override;
  LRESULT handleMessage(UINT msg, WPARAM w, LPARAM l) override;
};

class ProgressBar : public Control {
 public:
  void setRange(int min, int max);
  void setPosition(int pos);
  int position() const;

 protected:
  void createParams(CreateParams& p) override;
};

// An icon picture.
class Image : public Control {
 public:
  void setIcon(HICON icon);  // shown as is; the caller keeps it alive
  HICON icon() const { return icon_; }

 protected:
  void createParams(CreateParams& p) override;
  void afterCreateWindow() override;

 private:
  HICON icon_ = nullptr;
};

// A windowed control of our own class that paints itself (derive and override paintWindow).
class CustomControl : public Control {
 protected:
  void createParams(CreateParams& p) override;
};

}  // namespace pv::win
