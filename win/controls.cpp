#include "win/controls.h"

#include <cstdlib>

#include "core/error.h"
#include "win/app.h"
#include "win/form.h"

namespace pv::win {
namespace {

COLORREF parseColour(std::string_view v) {
  // RRGGBB as written in descriptions.
  unsigned long rgb = std::strtoul(std::string(v).c_str(), nullptr, 16);
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

int toInt(std::string_view v) { return std::atoi(std::string(v).c_str()); }

}  // namespace

// ------------------------------------------------------------ Label

void Label::createParams(CreateParams& p) {
  Control::createParams(p);
  p.className = "STATIC";
  const unsigned f = desc_ ? desc_->flags : 0;
  p.style |= (f & opt::Centre) ? SS_CENTER : (f & opt::Right) ? SS_RIGHT : SS_LEFT;
}

// ------------------------------------------------------------ Button

void Button::applyDesc(const ControlDesc& d) {
  Control::applyDesc(d);
  if (d.flags & opt::Default) modalResult_ = mrOk;
  if (d.flags & opt::Cancel) modalResult_ = mrCancel;
}

void Button::createParams(CreateParams& p) {
  Control::createParams(p);
  p.className = "BUTTON";
  const unsigned f = desc_ ? desc_->flags : 0;
  p.style |= ((f & opt::Default) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
  if (!(f & opt::NoTabStop)) p.style |= WS_TABSTOP;
}

LRESULT Button::handleMessage(UINT msg, WPARAM w, LPARAM l) {
  if (msg == CN_COMMAND && HIWORD(w) == BN_CLICKED) {
    click();
    return 0;
  }
  return Control::handleMessage(msg, w, l);
}

void Button::click() {
  // The modal result is set first, so the click handler may still change it.
  if (modalResult_ != mrNone)
    if (Form* f = form()) f->setModalResult(modalResult_);
  Control::click();
}

// ------------------------------------------------------------ CheckBox

void CheckBox::applyDesc(const ControlDesc& d) {
  Control::applyDesc(d);
  checked_ = (d.flags & opt::Checked) != 0;
}

void CheckBox::createParams(CreateParams& p) {
  Control::createParams(p);
  p.className = "BUTTON";
  p.style |= BS_AUTOCHECKBOX;
  if (!(desc_ && (desc_->flags & opt::NoTabStop))) p.style |= WS_TABSTOP;
}

void CheckBox::afterCreateWindow() { ::SendMessageA(handle(), BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0); }

bool CheckBox::checked() const {
  return hasHandle() ? ::SendMessageA(handle(), BM_GETCHECK, 0, 0) == BST_CHECKED : checked_;
}

void CheckBox::setChecked(bool on) {
  checked_ = on;
  if (hasHandle()) ::SendMessageA(handle(), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

LRESULT CheckBox::handleMessage(UINT msg, WPARAM w, LPARAM l) {
  if (msg == CN_COMMAND && HIWORD(w) == BN_CLICKED) {
    checked_ = checked();
    click();
    return 0;
  }
  return Control::handleMessage(msg, w, l);
}

// ------------------------------------------------------------ Edit

void Edit::applyDesc(const ControlDesc& d) {
  Control::applyDesc(d);
  readOnly_ = (d.flags & opt::ReadOnly) != 0;
}

void Edit::createParams(CreateParams& p) {
  Control::createParams(p);
  p.className = "EDIT";
  p.style |= ES_AUTOHSCROLL;
  if (readOnly_) p.style |= ES_READONLY;
  if (!(desc_ && (desc_->flags & opt::NoTabStop))) p.style |= WS_TABSTOP;
  p.exStyle |= WS_EX_CLIENTEDGE;
}

void Edit::setReadOnly(bool on) {
  readOnly_ = on;
  if (hasHandle()) ::SendMessageA(handle(), EM_SETREADONLY, on, 0);
}

LRESULT Edit::handleMessage(UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_LBUTTONDBLCLK: {
      LRESULT r = Control::handleMessage(msg, w, l);
      if (onDblClick) onDblClick(*this);
      return r;
    }
    case CN_COMMAND:
      if (HIWORD(w) == EN_CHANGE && onChange) onChange(*this);
      return 0;
  }
  return Control::handleMessage(msg, w, l);
}

// ------------------------------------------------------------ Memo
void Memo::createParams(CreateParams& p) {
  Edit::createParams(p);
  p.style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_HSCROLL;
}

void Memo::setLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& l : lines) text += l + "\r\n";
  setText(text);
}

// ------------------------------------------------------------ ListBox

void ListBox::applyDesc(const ControlDesc& d) {
  Control::applyDesc(d);
  autoDrag_ = (d.flags & opt::AutoDrag) != 0;
}

void ListBox::createParams(CreateParams& p) {
  Control::createParams(p);
  p.className = "LISTBOX";
  p.style |= LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL;
  const unsigned f = desc_ ? desc_->flags : 0;
  if (f & opt::Sorted) p.style |= LBS_SORT;
  if (!(f & opt::NoTabStop)) p.style |= WS_TABSTOP;
  p.exStyle |= WS_EX_CLIENTEDGE;
}

int ListBox::count() const {
  return hasHandle() ? static_cast<int>(::SendMessageA(handle(), LB_GETCOUNT, 0, 0)) : 0;
}

std::string ListBox::item(int index) const {
  if (!hasHandle()) return {};
  LRESULT n = ::SendMessageA(handle(), LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (n == LB_ERR) throw Error("list index out of bounds (" + std::to_string(index) + ")");
  std::string s(static_cast<std::size_t>(n) + 1, '\0');
  n = ::SendMessageA(handle(), LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(s.data()));
  s.resize(n == LB_ERR ? 0 : static_cast<std::size_t>(n));
  return s;
}

std::vector<std::string> ListBox::items() const {
  std::vector<std::string> out;
  for (int i = 0, n = count(); i < n; ++i) out.push_back(item(i));
  return out;
}

void ListBox::setItems(const std::vector<std::string>& items) {
  clear();
  for (const auto& s : items) addItem(s);
}

int ListBox::addItem(const std::string& text, void* data) {
  createHandle();
  auto i = static_cast<int>(::SendMessageA(handle(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
  if (i < 0) throw Error("リストに項目を追加できません");
  ::SendMessageA(handle(), LB_SETITEMDATA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(data));
  return i;
}

void ListBox::insertItem(int index, const std::string& text, void* data) {
  createHandle();
  auto i = static_cast<int>(
      ::SendMessageA(handle(), LB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.c_str())));
  if (i < 0) throw Error("リストに項目を追加できません");
  ::SendMessageA(handle(), LB_SETITEMDATA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(data));
}

void ListBox::deleteItem(int index) {
  if (hasHandle()) ::SendMessageA(handle(), LB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

void ListBox::clear() {
  if (hasHandle()) ::SendMessageA(handle(), LB_RESETCONTENT, 0, 0);
}

void* ListBox::itemData(int index) const {
  if (!hasHandle()) return nullptr;
  LRESULT d = ::SendMessageA(handle(), LB_GETITEMDATA, static_cast<WPARAM>(index), 0);
  return d == LB_ERR ? nullptr : reinterpret_cast<void*>(d);
}

void ListBox::setItemData(int index, void* data) {
  if (hasHandle()) ::SendMessageA(handle(), LB_SETITEMDATA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(data));
}

int ListBox::itemIndex() const {
  return hasHandle() ? static_cast<int>(::SendMessageA(handle(), LB_GETCURSEL, 0, 0)) : -1;
}

void ListBox::setItemIndex(int index) {
  if (hasHandle()) ::SendMessageA(handle(), LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int ListBox::findExact(const std::string& text) const {
  if (!hasHandle()) return -1;
  // Start -1 searches the whole list from the first item.
  LRESULT i = ::SendMessageA(handle(), LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str()));
  return i == LB_ERR ? -1 : static_cast<int>(i);
}

int ListBox::itemAtPos(POINT pt, bool existing) const {
  if (!hasHandle()) return -1;
  RECT rc = clientRect();
  if (!::PtInRect(&rc, pt)) return -1;
  int n = count();
  for (int i = ::SendMessageA(handle(), LB_GETTOPINDEX, 0, 0); i >= 0 && i < n; ++i) {
    RECT r = itemRect(i);
    if (r.top > rc.bottom) break;
    if (::PtInRect(&r, pt)) return i;
  }
  return existing ? -1 : n - 1;
}

RECT ListBox::itemRect(int index) const {
  RECT r{};
  if (hasHandle()) ::SendMessageA(handle(), LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
  return r;
}

LRESULT ListBox::handleMessage(UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case CN_COMMAND:
      if (HIWORD(w) == LBN_SELCHANGE) {
        notifiedIndex_ = itemIndex();
        click();
      } else if (HIWORD(w) == LBN_DBLCLK) {
        if (onDblClick) onDblClick(*this);
      }
      return 0;
    case WM_LBUTTONDOWN: {
      LRESULT r = Control::handleMessage(msg, w, l);
      POINT pt{static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))};
      pressItem_ = autoDrag_ ? itemAtPos(pt, true) : -1;
      pressPending_ = pressItem_ >= 0;
      pressPoint_ = pt;
      return r;
    }
    case WM_MOUSEMOVE:
      if (pressPending_) {
        if (!(w & MK_LBUTTON)) {
          pressPending_ = false;
          break;
        }
        POINT pt{static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))};
        if (std::abs(pt.x - pressPoint_.x) >= ::GetSystemMetrics(SM_CXDRAG) ||
            std::abs(pt.y - pressPoint_.y) >= ::GetSystemMetrics(SM_CYDRAG)) {
          pressPending_ = false;
          // The pressed entry is the one being dragged, and the selected one.
          if (itemIndex() != pressItem_) setItemIndex(pressItem_);
          if (notifiedIndex_ != pressItem_) {
            notifiedIndex_ = pressItem_;
            click();
          }
          beginDrag();
          return 0;
        }
      }
      break;
    case WM_LBUTTONUP:
      pressPending_ = false;
      break;
    // The keyboard's context menu (the Menu key, Shift+F10), raised on the key going
    // down; its key going up must neither raise it again nor open a menu bar.
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (w == VK_APPS || (w == VK_F10 && ::GetKeyState(VK_SHIFT) < 0)) {
        ::SendMessageA(handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(handle()), static_cast<LPARAM>(-1));
        return 0;
      }
      break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      if (w == VK_APPS || (w == VK_F10 && ::GetKeyState(VK_SHIFT) < 0)) return 0;
      break;
  }
  return Control::handleMessage(msg, w, l);
}

// ------------------------------------------------------------ ImageList

void ImageListTraits::close(void* h) noexcept { ::ImageList_Destroy(static_cast<HIMAGELIST>(h)); }

int ImageList::count() const { return list_ ? ::ImageList_GetImageCount(handle()) : 0; }

void ImageList::setProperty(std::string_view name, std::string_view value) {
  if (name == "Width") width_ = toInt(value);
  else if (name == "Height") height_ = toInt(value);
  else if (name == "Mask") mask_ = parseColour(value);
  else if (name == "Bitmap") bitmap_ = std::string(value);
  else Component::setProperty(name, value);
}

void ImageList::loaded() {
  if (bitmap_.empty()) return;
  auto bm = static_cast<HBITMAP>(::LoadImageA(app().instance(), bitmap_.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (!bm) throw Error("ビットマップ " + bitmap_ + " がありません");
  GdiObject owner(bm);
  addBitmap(bm, mask_);
}

void ImageList::ensureList(bool alpha) {
  if (!list_) list_.reset(::ImageList_Create(width_, height_, alpha ? ILC_COLOR32 : (ILC_COLOR24 | ILC_MASK), 8, 4));
}

void ImageList::addBitmap(HBITMAP strip, COLORREF mask) {
  ensureList(mask == CLR_INVALID);
  if (mask == CLR_INVALID) ::ImageList_Add(handle(), strip, nullptr);
  else ::ImageList_AddMasked(handle(), strip, mask);
}

// ------------------------------------------------------------ ToolButton / ToolBar

void ToolButton::setEnabled(bool on) {
  enabled_ = on;
  if (bar_ && bar_->hasHandle()) ::SendMessageA(bar_->handle(), TB_ENABLEBUTTON, static_cast<WPARAM>(id_), MAKELONG(on, 0));
}

void ToolButton::click() {
  if (onClick) onClick(*bar_);
}

void ToolBar::applyDesc(const ControlDesc& d) {
  Control::applyDesc(d);
  if (d.height > 0) buttonH_ = std::max(1, d.height - 2);
}

void ToolBar::setProperty(std::string_view name, std::string_view value) {
  if (name == "Images") imagesName_ = std::string(value);
  else if (name == "DisabledImages") disabledName_ = std::string(value);
  else if (name == "ButtonWidth") buttonW_ = toInt(value);
  else if (name == "ButtonHeight") buttonH_ = toInt(value);
  else if (name == "Indent") indent_ = toInt(value);
  else Control::setProperty(name, value);
}

void ToolBar::addButton(ToolButton& b) {
  b.bar_ = this;
  b.id_ = 1000 + static_cast<int>(buttons_.size());
  buttons_.push_back(&b);
  if (hasHandle()) syncButtons();
}

void ToolBar::createParams(CreateParams& p) {
  Control::createParams(p);
  p.className = TOOLBARCLASSNAMEA;
  p.style |= CCS_NODIVIDER | CCS_NORESIZE | CCS_NOPARENTALIGN | TBSTYLE_TRANSPARENT;
  if (desc_ && (desc_->flags & opt::Flat)) p.style |= TBSTYLE_FLAT;
}

void ToolBar::afterCreateWindow() {
  ::SendMessageA(handle(), TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  ::SendMessageA(handle(), TB_SETINDENT, static_cast<WPARAM>(indent_), 0);
  ::SendMessageA(handle(), TB_SETMAXTEXTROWS, 1, 0);
  // Narrow side padding: captions such as "Backup" fit the fixed button width.
  ::SendMessageA(handle(), TB_SETPADDING, 0, MAKELPARAM(2, 6));
  syncButtons();
}

void ToolBar::loaded() {
  Form* f = owner();
  if (f && !imagesName_.empty()) setImages(&f->find<ImageList>(imagesName_));
  if (f && !disabledName_.empty()) setDisabledImages(&f->find<ImageList>(disabledName_));
}

void ToolBar::syncButtons() {
  HWND h = handle();
  while (::SendMessageA(h, TB_BUTTONCOUNT, 0, 0) > 0) ::SendMessageA(h, TB_DELETEBUTTON, 0, 0);
  texts_.clear();
  texts_.reserve(buttons_.size());
  std::vector<TBBUTTON> tb;
  for (ToolButton* b : buttons_) {
    texts_.push_back(b->caption_);
    TBBUTTON t{};
    t.idCommand = b->id_;
    if (b->separator_) {
      t.fsStyle = BTNS_SEP;
      t.iBitmap = 8;  // width of the gap
    } else {
      t.fsStyle = BTNS_BUTTON;
      t.iBitmap = b->image_ >= 0 ? b->image_ : I_IMAGENONE;
      t.fsState = b->enabled_ ? TBSTATE_ENABLED : 0;
      t.iString = reinterpret_cast<INT_PTR>(texts_.back().c_str());
    }
    tb.push_back(t);
  }
  if (!tb.empty()) ::SendMessageA(h, TB_ADDBUTTONSA, tb.size(), reinterpret_cast<LPARAM>(tb.data()));
  setButtonSize(buttonW_, buttonH_);
}

void ToolBar::setButtonSize(int w, int h) {
  buttonW_ = w;
  buttonH_ = h;
  if (!hasHandle()) return;
  // Fixed buttons whatever the caption: the width is pinned as well.
  ::SendMessageA(handle(), TB_SETBUTTONSIZE, 0, MAKELONG(w, h));
  ::SendMessageA(handle(), TB_SETBUTTONWIDTH, 0, MAKELONG(w, w));
  ::InvalidateRect(handle(), nullptr, TRUE);
}

void ToolBar::setImages(ImageList* list) {
  images_ = list;
  if (!hasHandle()) return;
  if (list) ::SendMessageA(handle(), TB_SETBITMAPSIZE, 0, MAKELONG(list->width(), list->height()));
  ::SendMessageA(handle(), TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(list ? list->handle() : nullptr));
  setButtonSize(buttonW_, buttonH_);
}

void ToolBar::setDisabledImages(ImageList* list) {
  disabled_ = list;
  if (!hasHandle()) return;
  ::SendMessageA(handle(), TB_SETDISABLEDIMAGELIST, 0, reinterpret_cast<LPARAM>(list ? list->handle() : nullptr));
  ::InvalidateRect(handle(), nullptr, TRUE);
}

int ToolBar::buttonAt(POINT pt) const {
  if (!hasHandle()) return -1;
  auto i = static_cast<int>(::SendMessageA(handle(), TB_HITTEST, 0, reinterpret_cast<LPARAM>(&pt)));
  if (i < 0 || i >= static_cast<int>(buttons_.size()) || buttons_[static_cast<std::size_t>(i)]->separator_) return -1;
  return i;
}

int ToolBar::fullWidth() const {
  if (!hasHandle() || buttons_.empty()) return 0;
  RECT r{};
  const auto last = static_cast<WPARAM>(buttons_.size() - 1);
  if (!::SendMessageA(handle(), TB_GETITEMRECT, last, reinterpret_cast<LPARAM>(&r))) return 0;
  return r.right + indent_;
}

std::string ToolBar::hintAt(POINT pt) const {
  int i = buttonAt(pt);
  return i >= 0 ? buttons_[static_cast<std::size_t>(i)]->hint_ : hint();
}

// The buttons are drawn here rather than by the toolbar: the caption must have
// the whole button width (45 pixels take "Backup" only that way), and the look
// must not depend on the system's toolbar.
LRESULT ToolBar::customDraw(NMTBCUSTOMDRAW* cd) {
  switch (cd->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT;
    case CDDS_ITEMPREPAINT:
      for (ToolButton* b : buttons_)
        if (static_cast<DWORD_PTR>(b->id_) == cd->nmcd.dwItemSpec && !b->separator_) {
          drawButton(*b, cd->nmcd.hdc, cd->nmcd.rc, cd->nmcd.uItemState);
          return CDRF_SKIPDEFAULT;
        }
      return CDRF_DODEFAULT;
    case CDDS_POSTPAINT: {
      // A line along the bottom edge.
      RECT rc = clientRect();
      ::DrawEdge(cd->nmcd.hdc, &rc, EDGE_ETCHED, BF_BOTTOM);
      return CDRF_DODEFAULT;
    }
  }
  return CDRF_DODEFAULT;
}

void ToolBar::drawButton(const ToolButton& b, HDC dc, RECT rc, UINT state) {
  const bool disabled = !b.enabled_ || (state & CDIS_DISABLED);
  const bool pressed = (state & CDIS_SELECTED) != 0;
  const bool hot = (state & CDIS_HOT) != 0;
  if (!disabled && (hot || pressed)) ::DrawEdge(dc, &rc, pressed ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
  const int shift = pressed ? 1 : 0;
  int imgW = 0, imgH = 0;
  if (images_ && images_->handle()) {
    imgW = images_->width();
    imgH = images_->height();
  }
  const int x = rc.left + (rc.right - rc.left - imgW) / 2 + shift;
  const int y = rc.top + 2 + shift;
  if (imgW && b.image_ >= 0) {
    if (!disabled) {
      ::ImageList_Draw(images_->handle(), b.image_, dc, x, y, ILD_TRANSPARENT);
    } else if (disabled_ && disabled_->handle()) {
      ::ImageList_Draw(disabled_->handle(), b.image_, dc, x, y, ILD_TRANSPARENT);
    } else if (HICON icon = ::ImageList_GetIcon(images_->handle(), b.image_, ILD_NORMAL)) {
      ::DrawStateA(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, x, y, imgW, imgH, DST_ICON | DSS_DISABLED);
      ::DestroyIcon(icon);
    }
  }
  RECT rt{rc.left + 1 + shift, y + imgH, rc.right - 1 + shift, rc.bottom + 1};
  HGDIOBJ oldFont = ::SelectObject(dc, font());
  const int oldMode = ::SetBkMode(dc, TRANSPARENT);
  const UINT fmt = DT_CENTER | DT_SINGLELINE | DT_NOPREFIX | DT_TOP | DT_END_ELLIPSIS | DT_NOCLIP;
  if (disabled) {
    RECT hi = rt;
    ::OffsetRect(&hi, 1, 1);
    ::SetTextColor(dc, ::GetSysColor(COLOR_3DHILIGHT));
    ::DrawTextA(dc, b.caption_.c_str(), -1, &hi, fmt);
    ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
  } else {
    ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
  }
  ::DrawTextA(dc, b.caption_.c_str(), -1, &rt, fmt);
  ::SetBkMode(dc, oldMode);
  ::SelectObject(dc, oldFont);
}

LRESULT ToolBar::handleMessage(UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case CN_COMMAND:
      for (ToolButton* b : buttons_)
        if (b->id_ == LOWORD(w) && !b->separator_ && b->enabled_) b->click();
      return 0;
    case CN_NOTIFY:
      if (reinterpret_cast<NMHDR*>(l)->code == NM_CUSTOMDRAW) return customDraw(reinterpret_cast<NMTBCUSTOMDRAW*>(l));
      break;
  }
  return Control::handleMessage(msg, w, l);
}

// ------------------------------------------------------------ StatusBar

void StatusBar::createParams(CreateParams& p) {
  Control::createParams(p);
  p.className = STATUSCLASSNAMEA;
  p.style |= CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER | SBARS_SIZEGRIP;
}

void StatusBar::afterCreateWindow() {
  ::SendMessageA(handle(), SB_SIMPLE, TRUE, 0);
  ::SendMessageA(handle(), SB_SETTEXTA, SB_SIMPLEID, reinterpret_cast<LPARAM>(simpleText_.c_str()));
}

void StatusBar::setSimpleText(const std::string& text) {
  simpleText_ = text;
  if (hasHandle()) ::SendMessageA(handle(), SB_SETTEXTA, SB_SIMPLEID, reinterpret_cast<LPARAM>(simpleText_.c_str()));
}

LRESULT StatusBar::handleMessage(UINT msg, WPARAM w, LPARAM l) { return Control::handleMessage(msg, w, l); }

// ------------------------------------------------------------ PageControl / TabSheet

void PageControl::createParams(CreateParams& p) {
  Control::createParams(p);
  p.className = WC_TABCONTROLA;
  p.style |= WS_CLIPCHILDREN;
  // The pages are its children: the dialog keys look inside it for their fields.
  p.exStyle |= WS_EX_CONTROLPARENT;
  if (!(desc_ && (desc_->flags & opt::NoTabStop))) p.style |= WS_TABSTOP;
}

void PageControl::addPage(TabSheet& sheet) {
  pages_.push_back(&sheet);
  if (active_ < 0) active_ = 0;
}

void PageControl::afterCreateWindow() {
  for (std::size_t i = 0; i < pages_.size(); ++i) {
    std::string text = pages_[i]->caption();
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = text.data();
    ::SendMessageA(handle(), TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
  }
  if (active_ >= 0) ::SendMessageA(handle(), TCM_SETCURSEL, static_cast<WPARAM>(active_), 0);
}

RECT PageControl::displayRect() const {
  RECT r = clientRect();
  if (hasHandle()) ::SendMessageA(handle(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
  return r;
}

TabSheet* PageControl::activePage() const {
  return active_ >= 0 && active_ < pageCount() ? pages_[static_cast<std::size_t>(active_)] : nullptr;
}

void PageControl::setActivePageIndex(int index) {
  if (index < 0 || index >= pageCount()) return;
  active_ = index;
  if (hasHandle()) ::SendMessageA(handle(), TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
  showActive();
}

void PageControl::selectNext(bool forward) {
  const int n = pageCount();
  if (n == 0) return;
  setActivePageIndex(active_ < 0 ? 0 : (active_ + (forward ? 1 : n - 1)) % n);
  if (onChange) onChange(*this);
}

void PageControl::showActive() {
  RECT r = displayRect();
  HWND focus = ::GetFocus();
  for (int i = 0; i < pageCount(); ++i) {
    TabSheet* s = pages_[static_cast<std::size_t>(i)];
    if (s->hasHandle()) s->setBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
    // The keyboard focus does not stay in a page that goes: it comes to the tabs.
    if (i != active_ && focus && s->hasHandle() && ::IsChild(s->handle(), focus) && hasHandle()) ::SetFocus(handle());
    s->setVisible(i == active_);
  }
}

LRESULT PageControl::handleMessage(UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case CN_NOTIFY: {
      auto* n = reinterpret_cast<NMHDR*>(l);
      if (n->code == TCN_SELCHANGE) {
        active_ = static_cast<int>(::SendMessageA(handle(), TCM_GETCURSEL, 0, 0));
        showActive();
        if (onChange) onChange(*this);
        return 0;
      }
      break;
    }
    case WM_SIZE: {
      LRESULT r = Control::handleMessage(msg, w, l);
      showActive();
      return r;
    }
  }
  return Control::handleMessage(msg, w, l);
}

PageControl* TabSheet::pageControl() const { return dynamic_cast<PageControl*>(parentControl()); }

int TabSheet::pageIndex() const {
  PageControl* pc = pageControl();
  if (!pc) return -1;
  for (int i = 0; i < pc->pageCount(); ++i)
    if (&pc->page(i) == this) return i;
  return -1;
}

void TabSheet::createParams(CreateParams& p) {
  Control::createParams(p);
  Window::registerClass("PvTabSheet", CS_DBLCLKS);
  p.className = "PvTabSheet";
  p.ownClass = true;
  p.style |= WS_CLIPCHILDREN;
  p.exStyle |= WS_EX_CONTROLPARENT;
  PageControl* pc = pageControl();
  bool active = pc && pc->activePage() == this;
  if (!active) p.style &= ~WS_VISIBLE;
}

void TabSheet::afterCreateWindow() {
  if (PageControl* pc = pageControl()) {
    RECT r = pc->displayRect();
    setBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
    setVisible(pc->activePage() == this);
  }
}

LRESULT TabSheet::handleMessage(UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_ERASEBKGND) {
    RECT r;
    ::GetClientRect(handle(), &r);
    ::FillRect(reinterpret_cast<HDC>(w), &r, backgroundBrush());
    return 1;
  }
  return Control::handleMessage(msg, w, l);
}

// ------------------------------------------------------------ ProgressBar

void ProgressBar::createParams(CreateParams& p) {
  Control::createParams(p);
  p.className = PROGRESS_CLASSA;
}

void ProgressBar::setRange(int min, int max) {
  if (hasHandle()) ::SendMessageA(handle(), PBM_SETRANGE32, static_cast<WPARAM>(min), max);
}

void ProgressBar::setPosition(int pos) {
  if (hasHandle()) ::SendMessageA(handle(), PBM_SETPOS, static_cast<WPARAM>(pos), 0);
}

int ProgressBar::position() const {
  return hasHandle() ? static_cast<int>(::SendMessageA(handle(), PBM_GETPOS, 0, 0)) : 0;
}

// ------------------------------------------------------------ Image

void Image::createParams(CreateParams& p) {
  Control::createParams(p);
  p.className = "STATIC";
  p.style |= SS_ICON | SS_REALSIZEIMAGE;
}

void Image::afterCreateWindow() {
  if (icon_) ::SendMessageA(handle(), STM_SETICON, reinterpret_cast<WPARAM>(icon_), 0);
}

void Image::setIcon(HICON icon) {
  icon_ = icon;
  if (hasHandle()) ::SendMessageA(handle(), STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
}

// ------------------------------------------------------------ CustomControl

void CustomControl::createParams(CreateParams& p) {
  Control::createParams(p);
  Window::registerClass("PvControl", CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW);
  p.className = "PvControl";
  p.ownClass = true;
}

}  // namespace pv::win
