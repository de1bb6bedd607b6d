#include "ui/control.h"

#include <commctrl.h>
#include <windowsx.h>

#include "ui/application.h"

namespace ui {

// ---------------------------------------------------------------- Control

Control::Control(WinControl *parent, const ControlArgs &a)
    : parent_(parent),
      name_(a.name),
      left_(a.bounds.left),
      top_(a.bounds.top),
      width_(a.bounds.width),
      height_(a.bounds.height),
      visible_(a.visible),
      enabled_(a.enabled),
      caption_(a.caption),
      font_(a.font   ? *a.font
            : parent ? parent->GetFont()
                     : Font()),
      color_(a.color  ? *a.color
             : parent ? parent->GetColor()
                      : kBtnFace) {
  WindowProc = [this](Message &m) { WndProc(m); };
}

LRESULT Control::Perform(UINT msg, WPARAM w, LPARAM l) {
  Message m = {msg, w, l, 0};
  ++performDepth_;
  if (WindowProc) WindowProc(m);
  --performDepth_;
  MessageDone();
  return m.Result;
}

void Control::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  VisibleChanged();
}

void Control::SetEnabled(bool e) {
  if (e == enabled_) return;
  enabled_ = e;
  EnabledChanged();
}

void Control::SetCaption(const std::string &text) {
  if (text == caption_) return;
  caption_ = text;
  CaptionChanged();
}

// ---------------------------------------------------------- GraphicControl

GraphicControl::GraphicControl(WinControl *parent, const ControlArgs &args)
    : Control(parent, args), canvas_(this), cursor_(args.cursor), hint_(args.hint) {}

// Bounds are set before the parent has a window (the layout, the button's
// own size): the tooltip of a hint is made with the final rectangle.
void GraphicControl::SetBounds(int left, int top, int width, int height) {
  Invalidate();
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  Invalidate();
}

// Windowed controls keep the font they were made with; a windowless one
// draws with the new font at its next paint.
void GraphicControl::SetFont(const Font &f) {
  font_ = f;
  Invalidate();
}

void GraphicControl::Click() {
  if (OnClick) OnClick();
}

bool GraphicControl::Contains(LPARAM local) const {
  const int x = GET_X_LPARAM(local), y = GET_Y_LPARAM(local);
  return x >= 0 && y >= 0 && x < width_ && y < height_;
}

void GraphicControl::WndProc(Message &m) {
  switch (m.Msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      OnLButtonDown(m);
      break;
    case WM_LBUTTONUP:
      OnLButtonUp(m);
      break;
    case WM_MOUSEMOVE:
      OnMouseMove(m);
      break;
    case CM_MOUSEENTER:
      OnMouseEnter(m);
      break;
    case CM_MOUSELEAVE:
      OnMouseLeave(m);
      break;
    case WM_CAPTURECHANGED:
      OnCaptureChanged(m);
      break;
    default:
      break;
  }
}

// The parent hides and shows the control by repainting its area, whatever
// the new state.
void GraphicControl::Invalidate() {
  if (parent_) parent_->InvalidateArea(BoundsRect());
}

// Not opaque: the parent paints its own background under the control first,
// at once rather than in the next paint cycle.
void GraphicControl::Repaint() {
  if (!parent_ || !visible_ || !parent_->Handle()) return;
  parent_->InvalidateArea(BoundsRect());
  UpdateWindow(parent_->Handle());
}

void GraphicControl::OnLButtonDown(Message &) {
  if (parent_) parent_->SetCaptureChild(this);
  pressed_ = true;
}

// A release fires the click only inside the bounds and only after a press
// on this control.
void GraphicControl::OnLButtonUp(Message &m) {
  if (parent_ && parent_->CaptureChild() == this) parent_->SetCaptureChild(nullptr);
  const bool pressed = pressed_;
  pressed_ = false;
  if (pressed && Contains(m.LParam)) Click();
}

// The parent lost the capture this control's press holds (Alt+Tab, a popup,
// WM_CANCELMODE): the press is over without a click. A release that comes
// later, wherever, finds the control unarmed.
void GraphicControl::OnCaptureChanged(Message &) {
  pressed_ = false;
}

// Drawing outside the paint cycle goes straight onto the parent's surface,
// moved to the control's place and clipped to its bounds.
HDC GraphicControl::AcquireCanvasDC() {
  if (!parent_) return nullptr;
  HDC dc = parent_->GetSurfaceDC();
  if (!dc) return nullptr;
  SaveDC(dc);
  OffsetViewportOrgEx(dc, left_, top_, nullptr);
  IntersectClipRect(dc, 0, 0, width_, height_);
  return dc;
}

void GraphicControl::ReleaseCanvasDC(HDC dc) {
  RestoreDC(dc, -1);
  parent_->ReleaseSurfaceDC(dc);
}

// A context taken for drawing outside the paint cycle is given back once the
// outermost message has been handled.
void GraphicControl::MessageDone() {
  if (performDepth_ == 0 && canvas_.LockCount() == 0) canvas_.FreeHandle();
}

// -------------------------------------------------------------- WinControl

WinControl::WinControl(WinControl *parent, const ControlArgs &args) : Control(parent, args) {}

WinControl::~WinControl() {
  if (hwnd_) {
    // The derived parts are gone: no message may reach them while the
    // windows are destroyed.
    Unbind();
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
  }
  if (hfont_) DeleteObject(hfont_);
  if (bgBrush_) DeleteObject(bgBrush_);
}

void WinControl::Unbind() {
  for (auto &c : windows_) c->Unbind();
  if (!hwnd_) return;
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  if (defProc_ != DefWindowProcW)
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(defProc_));
}

// A child added once the window exists gets its window or tool at once.
void WinControl::Adopt(std::unique_ptr<WinControl> child) {
  WinControl *c = child.get();
  windows_.push_back(std::move(child));
  if (hwnd_) c->CreateHandle();
  c->Invalidate();
}

void WinControl::Adopt(std::unique_ptr<GraphicControl> child) {
  GraphicControl *c = child.get();
  graphics_.push_back(std::move(child));
  if (hwnd_) AddTool(c);
  c->Invalidate();
}

bool WinControl::CreateHandle() {
  if (!hwnd_) {
    const CreateParams cp = GetCreateParams();
    WNDCLASSW wc = {};
    if (!cp.systemClass && !GetClassInfoW(App().Instance(), cp.className, &wc)) {
      wc.style = CS_DBLCLKS;
      wc.lpfnWndProc = StaticWndProc;
      wc.hInstance = App().Instance();
      wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
      wc.lpszClassName = cp.className;
      if (!RegisterClassW(&wc)) {
        App().RaiseError("Cannot register the window class");
        return false;
      }
    }
    DWORD style = cp.style;
    if (parent_ && visible_) style |= WS_VISIBLE;
    if (!enabled_) style |= WS_DISABLED;
    const std::wstring text = Widen(caption_);
    HWND h = CreateWindowExW(cp.exStyle, cp.className, text.c_str(), style, left_, top_, width_,
                             height_, parent_ ? parent_->Handle() : nullptr, nullptr,
                             App().Instance(), cp.systemClass ? nullptr : this);
    if (!h) {
      App().RaiseError("Error creating window");
      return false;
    }
    if (cp.systemClass) {
      hwnd_ = h;
      SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      defProc_ = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StaticWndProc)));
    }
    hfont_ = CreateFontHandle(font_);
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(hfont_), FALSE);
  }
  for (auto &c : graphics_) AddTool(c.get());
  for (auto &c : windows_)
    if (!c->CreateHandle()) return false;
  return true;
}

// Binds the object at WM_NCCREATE (our own classes) or at subclassing
// (system classes). The toolkit is built without exceptions, so none can
// leave the procedure: errors are values, a failed allocation ends the
// process (util/runtime/no_exceptions.cpp).
LRESULT CALLBACK WinControl::StaticWndProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  auto *self = reinterpret_cast<WinControl *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self && msg == WM_NCCREATE) {
    self = static_cast<WinControl *>(reinterpret_cast<CREATESTRUCTW *>(l)->lpCreateParams);
    if (self) {
      self->hwnd_ = hwnd;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
  }
  if (!self) return DefWindowProcW(hwnd, msg, w, l);
  return self->Perform(msg, w, l);
}

void WinControl::WndProc(Message &m) {
  switch (m.Msg) {
    case WM_PAINT:
      OnPaint(m);
      break;
    case WM_ERASEBKGND:
      m.Result = 1;  // WM_PAINT fills the background
      break;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
      OnMouse(m);
      break;
    case WM_MOUSELEAVE:
      OnMouseLeave(m);
      break;
    case WM_SETCURSOR:
      OnSetCursor(m);
      break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
      OnCtlColor(m);
      break;
    case WM_CAPTURECHANGED:
      OnCaptureChanged(m);
      break;
    case WM_NCDESTROY:
      OnNcDestroy(m);
      break;
    default:
      DefaultHandler(m);
      break;
  }
}

void WinControl::DefaultHandler(Message &m) {
  if (hwnd_) m.Result = CallWindowProcW(defProc_, hwnd_, m.Msg, m.WParam, m.LParam);
}

void WinControl::OnPaint(Message &m) {
  if (defProc_ != DefWindowProcW) {  // a system control paints itself
    DefaultHandler(m);
    return;
  }
  PAINTSTRUCT ps;
  HDC windowDC = BeginPaint(hwnd_, &ps);
  HDC dc = PaintSurface(windowDC);
  const int saved = SaveDC(dc);
  if (dc != windowDC)
    IntersectClipRect(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom);
  PaintWindow(dc);
  PaintControls(dc);
  RestoreDC(dc, saved);
  EndPaint(hwnd_, &ps);
}

void WinControl::PaintWindow(HDC dc) {
  RECT r = {0, 0, width_, height_};
  HBRUSH b = CreateSolidBrush(ColorToRgb(color_));
  FillRect(dc, &r, b);
  DeleteObject(b);
}

// The paint cycle: each windowless child draws through its own canvas,
// which holds one lock for the length of the call.
void WinControl::PaintControls(HDC dc) {
  for (auto &c : graphics_) {
    if (!c->Visible()) continue;
    GraphicControl *g = c.get();
    RECT r = g->BoundsRect();
    if (!RectVisible(dc, &r)) continue;
    const int saved = SaveDC(dc);
    OffsetViewportOrgEx(dc, r.left, r.top, nullptr);
    IntersectClipRect(dc, 0, 0, g->Width(), g->Height());
    Canvas &canvas = g->GetCanvas();
    HDC prev = canvas.Attach(dc);
    canvas.Lock();
    g->Paint();
    canvas.Unlock();
    canvas.Attach(prev);
    RestoreDC(dc, saved);
  }
}

GraphicControl *WinControl::ChildAt(POINT p, bool enabledOnly) const {
  for (auto it = graphics_.rbegin(); it != graphics_.rend(); ++it) {
    GraphicControl *c = it->get();
    if (!c->Visible() || (enabledOnly && !c->Enabled())) continue;
    RECT r = c->BoundsRect();
    if (PtInRect(&r, p)) return c;
  }
  return nullptr;
}

// Enter and leave go to the child under the pointer whether it is enabled
// or not; presses and releases only to an enabled one, or to the child that
// holds the capture.
void WinControl::OnMouse(Message &m) {
  const POINT p = {GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
  if (m.Msg == WM_MOUSEMOVE) {
    if (!trackingLeave_ && hwnd_) {
      TRACKMOUSEEVENT t = {sizeof t, TME_LEAVE, hwnd_, 0};
      trackingLeave_ = TrackMouseEvent(&t) != FALSE;
    }
    SetMouseChild(ChildAt(p, false));
  }
  GraphicControl *target = captureChild_ ? captureChild_ : ChildAt(p, true);
  if (target) {
    const LPARAM local =
        MAKELPARAM(static_cast<WORD>(p.x - target->Left()), static_cast<WORD>(p.y - target->Top()));
    m.Result = target->Perform(m.Msg, m.WParam, local);
    return;
  }
  const bool left = m.Msg == WM_LBUTTONDOWN || m.Msg == WM_LBUTTONDBLCLK;
  if (OnMouseDown && (left || m.Msg == WM_RBUTTONDOWN || m.Msg == WM_MBUTTONDOWN))
    OnMouseDown(left ? 0 : m.Msg == WM_RBUTTONDOWN ? 1 : 2, p.x, p.y);
  DefaultHandler(m);
}

void WinControl::OnMouseLeave(Message &m) {
  trackingLeave_ = false;
  SetMouseChild(nullptr);
  DefaultHandler(m);
}

void WinControl::SetMouseChild(GraphicControl *c) {
  if (c == mouseChild_) return;
  GraphicControl *old = mouseChild_;
  mouseChild_ = c;
  if (old) old->Perform(CM_MOUSELEAVE);
  if (c) c->Perform(CM_MOUSEENTER);
}

void WinControl::OnSetCursor(Message &m) {
  if (reinterpret_cast<HWND>(m.WParam) == hwnd_ && LOWORD(m.LParam) == HTCLIENT) {
    POINT p;
    GetCursorPos(&p);
    ScreenToClient(hwnd_, &p);
    GraphicControl *c = ChildAt(p, false);
    if (c && c->GetCursor() == Cursor::Hand) {
      SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
      m.Result = TRUE;
      return;
    }
  }
  DefaultHandler(m);
}

void WinControl::OnCtlColor(Message &m) {
  HWND child = reinterpret_cast<HWND>(m.LParam);
  for (auto &c : windows_) {
    if (c->Handle() != child) continue;
    HBRUSH b = c->CtlColor(reinterpret_cast<HDC>(m.WParam));
    if (b) {
      m.Result = reinterpret_cast<LRESULT>(b);
      return;
    }
  }
  DefaultHandler(m);
}

// The captured child hears of the loss, so that its press is cancelled; a
// release of our own clears captureChild_ first and tells nobody.
void WinControl::OnCaptureChanged(Message &m) {
  if (reinterpret_cast<HWND>(m.LParam) != hwnd_ && captureChild_) {
    GraphicControl *lost = captureChild_;
    captureChild_ = nullptr;
    lost->Perform(WM_CAPTURECHANGED, m.WParam, m.LParam);
  }
  DefaultHandler(m);
}

void WinControl::OnNcDestroy(Message &m) {
  DefaultHandler(m);
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  hwnd_ = nullptr;
  tooltip_ = nullptr;  // an owned popup, destroyed with us
}

void WinControl::SetCaptureChild(GraphicControl *c) {
  captureChild_ = c;
  if (!hwnd_) return;
  if (c)
    SetCapture(hwnd_);
  else if (GetCapture() == hwnd_)
    ReleaseCapture();
}

HDC WinControl::GetSurfaceDC() {
  return hwnd_ ? GetDC(hwnd_) : nullptr;
}

void WinControl::ReleaseSurfaceDC(HDC dc) {
  ReleaseDC(hwnd_, dc);
}

void WinControl::Invalidate() {
  if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

void WinControl::InvalidateArea(const RECT &r) {
  if (hwnd_) InvalidateRect(hwnd_, &r, TRUE);
}

void WinControl::CaptionChanged() {
  if (hwnd_) SetWindowTextW(hwnd_, Widen(caption_).c_str());
  Invalidate();
}

void WinControl::EnabledChanged() {
  if (hwnd_) EnableWindow(hwnd_, enabled_);
}

void WinControl::VisibleChanged() {
  if (hwnd_ && parent_) ShowWindow(hwnd_, visible_ ? SW_SHOW : SW_HIDE);
}

// Hints of windowless children: one tooltip per parent that subclasses the
// parent to see the pointer, one tool per child rectangle.
void WinControl::AddTool(GraphicControl *c) {
  if (c->Hint().empty() || !hwnd_) return;
  if (!tooltip_) {
    tooltip_ =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, App().Instance(), nullptr);
    if (!tooltip_) return;
  }
  std::wstring text = Widen(c->Hint());
  TTTOOLINFOW ti = {};
  ti.cbSize = TTTOOLINFOW_V2_SIZE;
  ti.uFlags = TTF_SUBCLASS;
  ti.hwnd = hwnd_;
  ti.uId = reinterpret_cast<UINT_PTR>(c);
  ti.rect = c->BoundsRect();
  ti.lpszText = &text[0];
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

}  // namespace ui
