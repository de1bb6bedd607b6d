#pragma once
// Controls: the common base, the windowless graphic control painted by its
// parent, and the windowed control that owns an HWND and hosts children.
#include <memory>
#include <utility>
#include <vector>

#include "ui/canvas.h"
#include "ui/types.h"

namespace ui {

class WinControl;

enum class Align { None, Top, Bottom, Client };
enum Anchor : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
enum class Cursor { Default, Hand };

// What every control is built from; each kind adds its own fields.
struct Bounds {
  int left = 0, top = 0, width = 0, height = 0;
};

struct ControlArgs {
  const char *name = "";
  Bounds bounds;
  std::string caption;
  const Font *font = nullptr;    // null: the parent's font
  const Color *color = nullptr;  // null: the parent's colour
  Align align = Align::None;
  unsigned anchors = akLeft | akTop;
  bool visible = true;
  bool enabled = true;
  Cursor cursor = Cursor::Default;
  std::string hint;
  int tabOrder = -1;
};

class Control {
 public:
  Control(WinControl *parent, const ControlArgs &args);
  virtual ~Control() = default;
  Control(const Control &) = delete;
  Control &operator=(const Control &) = delete;

  // Every message goes through WindowProc, which starts as WndProc. A hook
  // keeps the previous value, installs its own and passes on the rest.
  WndMethod WindowProc;
  LRESULT Perform(UINT msg, WPARAM w = 0, LPARAM l = 0);
  virtual void WndProc(Message &m);
  virtual bool IsWindowed() const { return false; }

  const std::string &Name() const { return name_; }
  void SetName(const std::string &n) { name_ = n; }
  WinControl *Parent() const { return parent_; }
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  RECT BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
  virtual void SetBounds(int left, int top, int width, int height);

  Align GetAlign() const { return align_; }
  unsigned Anchors() const { return anchors_; }
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool e);
  const std::string &Caption() const { return caption_; }
  void SetCaption(const std::string &text);
  const Font &GetFont() const { return font_; }
  void SetFont(const Font &f);
  Color GetColor() const { return color_; }
  void SetColor(Color c);
  Cursor GetCursor() const { return cursor_; }
  const std::string &Hint() const { return hint_; }
  int TabOrder() const { return tabOrder_; }
  intptr_t Tag() const { return tag_; }
  void SetTag(intptr_t t) { tag_ = t; }

  Spacing Margins{3, 3, 3, 3};
  std::function<void()> OnClick;
  std::function<void(int button, int x, int y)> OnMouseDown;

  virtual void Click();
  virtual void Invalidate();

 protected:
  virtual void DefaultHandler(Message &m) { (void)m; }
  virtual void Changed() { Invalidate(); }
  virtual void EnabledChanged() { Invalidate(); }
  virtual void VisibleChanged() { Invalidate(); }
  virtual void MessageDone() {}

  WinControl *parent_;
  std::string name_;
  int left_, top_, width_, height_;
  Align align_;
  unsigned anchors_;
  bool visible_, enabled_;
  std::string caption_;
  Font font_;
  Color color_;
  Cursor cursor_;
  std::string hint_;
  int tabOrder_;
  intptr_t tag_ = 0;
  int performDepth_ = 0;
};

// A control without a window: its parent paints it onto the parent's surface
// and routes the mouse messages to it.
class GraphicControl : public Control, protected CanvasOwner {
 public:
  GraphicControl(WinControl *parent, const ControlArgs &args);
  Canvas &GetCanvas() { return canvas_; }
  virtual void Paint() {}
  void WndProc(Message &m) override;
  void Invalidate() override;
  void Repaint();
  bool AcceptsDoubleClicks() const { return doubleClicks_; }

 protected:
  virtual void OnLButtonDown(Message &m);
  virtual void OnLButtonUp(Message &m);
  virtual void OnMouseMove(Message &m);
  virtual void OnMouseEnter(Message &m) { (void)m; }
  virtual void OnMouseLeave(Message &m) { (void)m; }
  virtual void OnCaptureChanged(Message &m);
  virtual void MouseDown(int x, int y) { (void)x, (void)y; }
  virtual void MouseMove(int x, int y) { (void)x, (void)y; }
  virtual void MouseUp(int x, int y) { (void)x, (void)y; }
  // A press ended by the loss of the mouse capture: no release follows.
  virtual void MouseCancel() {}
  void EnabledChanged() override { Repaint(); }
  void SetMouseCapture(bool on);
  bool HasMouseCapture() const;

  HDC AcquireCanvasDC() override;
  void ReleaseCanvasDC(HDC dc) override;
  void MessageDone() override;

  bool doubleClicks_ = false;

 private:
  Canvas canvas_;
  bool clicked_ = false;
};

// A control with its own window. One static window procedure binds the object
// to its HWND and calls WindowProc; the members hand each message to OnXxx.
class WinControl : public Control {
 public:
  WinControl(WinControl *parent, const ControlArgs &args);
  ~WinControl() override;

  template <class T, class... A>
  T *Add(A &&...args) {
    auto child = std::make_unique<T>(this, std::forward<A>(args)...);
    T *raw = child.get();
    Insert(std::move(child));
    return raw;
  }
  const std::vector<std::unique_ptr<Control>> &Children() const { return children_; }
  Control *FindChild(const std::string &name) const;

  HWND Handle() const { return hwnd_; }
  bool IsWindowed() const override { return true; }
  bool CreateHandle();
  void SetBounds(int left, int top, int width, int height) override;
  void Invalidate() override;
  void InvalidateArea(const RECT &r);
  void WndProc(Message &m) override;

  Spacing Padding;
  void Realign();

  // The surface windowless children draw on, outside the paint cycle and in
  // it. Tests point these at a memory bitmap.
  virtual HDC GetSurfaceDC();
  virtual void ReleaseSurfaceDC(HDC dc);
  virtual HDC PaintSurface(HDC windowDC) { return windowDC; }
  void PaintControls(HDC dc);

  void SetCaptureChild(GraphicControl *c);
  GraphicControl *CaptureChild() const { return captureChild_; }
  GraphicControl *ChildAt(POINT p, bool enabledOnly) const;
  void ChildMoved(Control *c);

 protected:
  struct CreateParams {
    const wchar_t *className;
    DWORD style;
    DWORD exStyle;
    bool systemClass;  // a system class, subclassed after creation
  };
  virtual CreateParams GetCreateParams() const = 0;
  virtual void HandleCreated() {}
  virtual void PaintWindow(HDC dc);
  void DefaultHandler(Message &m) override;
  void Changed() override;
  void EnabledChanged() override;
  void VisibleChanged() override;

  virtual void OnPaint(Message &m);
  virtual void OnMouse(Message &m);
  virtual void OnMouseLeave(Message &m);
  virtual void OnSetCursor(Message &m);
  virtual void OnCtlColor(Message &m);
  virtual void OnCaptureChanged(Message &m);
  virtual void OnNcDestroy(Message &m);
  virtual HBRUSH CtlColor(HDC dc) {
    (void)dc;
    return nullptr;
  }

  static LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l);

  HWND hwnd_ = nullptr;
  WNDPROC defProc_ = DefWindowProcW;
  HFONT hfont_ = nullptr;
  HBRUSH bgBrush_ = nullptr;

 private:
  void Insert(std::unique_ptr<Control> child);
  void SetMouseChild(GraphicControl *c);
  void AddTool(Control *c);
  void Unbind();

  std::vector<std::unique_ptr<Control>> children_;
  GraphicControl *captureChild_ = nullptr;
  GraphicControl *mouseChild_ = nullptr;
  bool trackingLeave_ = false;
  HWND tooltip_ = nullptr;
};

}  // namespace ui
