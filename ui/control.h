#pragma once
// Controls: the common base, the windowless graphic control painted by its
// parent, and the windowed control that owns an HWND and hosts children.
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "ui/canvas.h"
#include "ui/types.h"

namespace ui {

class WinControl;

enum class Cursor { Default, Hand };

struct Bounds {
  int left = 0, top = 0, width = 0, height = 0;
};

// What every control is built from; each kind adds its own fields.
struct ControlArgs {
  const char *name = "";
  Bounds bounds;
  std::string caption;
  std::optional<Font> font;    // none: the parent's font
  std::optional<Color> color;  // none: the parent's colour
  bool visible = true;
  bool enabled = true;
  Cursor cursor = Cursor::Default;  // windowless controls only
  std::string hint;                 // windowless controls only
};

class Control {
 public:
  virtual ~Control() = default;
  Control(const Control &) = delete;
  Control &operator=(const Control &) = delete;

  // Every message goes through WindowProc, which starts as WndProc. A hook
  // keeps the previous value, installs its own and passes on the rest.
  WndMethod WindowProc;
  LRESULT Perform(UINT msg, WPARAM w = 0, LPARAM l = 0);

  const char *Name() const { return name_; }
  void SetName(const char *n) { name_ = n; }
  WinControl *Parent() const { return parent_; }
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  RECT BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }

  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool e);
  const std::string &Caption() const { return caption_; }
  void SetCaption(const std::string &text);
  const Font &GetFont() const { return font_; }
  Color GetColor() const { return color_; }
  virtual void Invalidate() = 0;

 protected:
  Control(WinControl *parent, const ControlArgs &args);
  virtual void WndProc(Message &m) = 0;
  virtual void CaptionChanged() { Invalidate(); }
  virtual void EnabledChanged() = 0;
  virtual void VisibleChanged() = 0;
  virtual void MessageDone() {}

  WinControl *parent_;
  const char *name_;
  int left_, top_, width_, height_;
  bool visible_, enabled_;
  std::string caption_;
  Font font_;
  Color color_;
  int performDepth_ = 0;
};

// A control without a window: its parent paints it onto the parent's surface
// and routes the mouse messages to it.
class GraphicControl : public Control, protected CanvasOwner {
 public:
  Canvas &GetCanvas() { return canvas_; }
  virtual void Paint() {}
  void SetBounds(int left, int top, int width, int height);
  void SetFont(const Font &f);
  void Invalidate() override;
  void Repaint();
  void Click();
  Cursor GetCursor() const { return cursor_; }
  const std::string &Hint() const { return hint_; }
  intptr_t Tag() const { return tag_; }
  void SetTag(intptr_t t) { tag_ = t; }

  Spacing Margins{3, 3, 3, 3};
  std::function<void()> OnClick;

 protected:
  GraphicControl(WinControl *parent, const ControlArgs &args);
  void WndProc(Message &m) override;
  virtual void OnLButtonDown(Message &m);
  virtual void OnLButtonUp(Message &m);
  virtual void OnMouseMove(Message &m) { (void)m; }
  virtual void OnMouseEnter(Message &m) { (void)m; }
  virtual void OnMouseLeave(Message &m) { (void)m; }
  virtual void OnCaptureChanged(Message &m);
  void EnabledChanged() override { Repaint(); }
  void VisibleChanged() override { Invalidate(); }
  bool Contains(LPARAM local) const;
  // A press on this control that no release or loss of capture has ended.
  bool Pressed() const { return pressed_; }

  HDC AcquireCanvasDC() override;
  void ReleaseCanvasDC(HDC dc) override;
  void MessageDone() override;

 private:
  Canvas canvas_;
  Cursor cursor_;
  std::string hint_;
  intptr_t tag_ = 0;
  bool pressed_ = false;
};

// A control with its own window. One static window procedure binds the object
// to its HWND and calls WindowProc; the members hand each message to OnXxx.
class WinControl : public Control {
 public:
  ~WinControl() override;

  // Children are windowed or windowless; each kind keeps its own list, in the
  // order they were added (creation order, which is also the Tab order).
  template <class T, class... A>
  T *Add(A &&...args) {
    auto child = std::make_unique<T>(this, std::forward<A>(args)...);
    T *raw = child.get();
    Adopt(std::move(child));
    return raw;
  }
  const std::vector<std::unique_ptr<WinControl>> &WinChildren() const { return windows_; }
  const std::vector<std::unique_ptr<GraphicControl>> &GraphicChildren() const { return graphics_; }

  HWND Handle() const { return hwnd_; }
  bool CreateHandle();
  void Invalidate() override;
  void InvalidateArea(const RECT &r);

  // The surface windowless children draw on, outside the paint cycle and in
  // it. Tests point these at a memory bitmap.
  virtual HDC GetSurfaceDC();
  virtual void ReleaseSurfaceDC(HDC dc);
  virtual HDC PaintSurface(HDC windowDC) { return windowDC; }
  void PaintControls(HDC dc);

  void SetCaptureChild(GraphicControl *c);
  GraphicControl *CaptureChild() const { return captureChild_; }
  GraphicControl *ChildAt(POINT p, bool enabledOnly) const;

  // A press of any button (0 left, 1 right, 2 middle) off the windowless
  // children.
  std::function<void(int button, int x, int y)> OnMouseDown;

 protected:
  WinControl(WinControl *parent, const ControlArgs &args);
  struct CreateParams {
    const wchar_t *className;
    DWORD style;
    DWORD exStyle;
    bool systemClass;  // a system class, subclassed after creation
  };
  virtual CreateParams GetCreateParams() const = 0;
  virtual void PaintWindow(HDC dc);
  void WndProc(Message &m) override;
  void DefaultHandler(Message &m);
  void CaptionChanged() override;
  void EnabledChanged() override;
  void VisibleChanged() override;

  void OnPaint(Message &m);
  void OnMouse(Message &m);
  void OnMouseLeave(Message &m);
  void OnSetCursor(Message &m);
  void OnCtlColor(Message &m);
  void OnCaptureChanged(Message &m);
  void OnNcDestroy(Message &m);
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
  void Adopt(std::unique_ptr<WinControl> child);
  void Adopt(std::unique_ptr<GraphicControl> child);
  void SetMouseChild(GraphicControl *c);
  void AddTool(GraphicControl *c);
  void Unbind();

  std::vector<std::unique_ptr<WinControl>> windows_;
  std::vector<std::unique_ptr<GraphicControl>> graphics_;
  GraphicControl *captureChild_ = nullptr;
  GraphicControl *mouseChild_ = nullptr;
  bool trackingLeave_ = false;
  HWND tooltip_ = nullptr;
};

}  // namespace ui
