// UI toolkit: screens, forms, controls, the status line and the modal event loop.
//
// The terminal's UI toolkit as the battery test utility uses it. A device build links
// the terminal's own toolkit; a PC build links the host implementation.
//
// Geometry is in pixels (x, y relative to the client area below the status line),
// colours are RGB565, texts are Windows-1251 byte strings and are copied by the toolkit.
// Forms and controls are created with new and handed to the toolkit, which owns them:
// a form and its controls are released by Del, the status line by the toolkit at exit.
// Every call is made on the UI thread.
#ifndef PLATFORM_UI_TOOLKIT_H
#define PLATFORM_UI_TOOLKIT_H

#include <cstdint>

// An input event; the first byte is the event code (a key or a button's code).
// Code 0 is the idle event the toolkit delivers while no input arrives.
struct igEvent {
  unsigned char code;
};

class igImage;      // Bitmaps; no image is used, so always null.
struct igWidget;    // Toolkit-side state of a form or control.
class igTextControl;

// Called for every event and repeatedly while idle; form is the igForm* shown.
// 1 or 100 ends the modal wait; 0 and 2 keep the form up.
typedef int (*igFormCallback)(igEvent* event, intptr_t form);
// Asked by a battery indicator for its level; indicator is the igBatLevel*.
typedef unsigned short (*igLevelCallback)(intptr_t indicator);

// Kinds of objects whose colour pair the scheme sets.
enum _IG_TypeObject { IG_OBJ_SCREEN = 0, IG_OBJ_FORM = 1, IG_OBJ_BUTTON = 2, IG_OBJ_STATIC = 3 };

class igColor {
 public:
  // Sets the colour pair (foreground, background) used for objects of the given kind.
  static void SetColor(_IG_TypeObject type, unsigned short first, unsigned short second);
};

// Base of every control that is placed on a form or the status line.
class igControl {
 public:
  igWidget* Widget() const { return widget_; }

 protected:
  explicit igControl(igWidget* widget) : widget_(widget) {}
  ~igControl() = default;
  igControl(const igControl&) = delete;
  igControl& operator=(const igControl&) = delete;

 private:
  igWidget* widget_;
};

// Forms and the status line: containers of controls.
class igContainer {
 public:
  virtual void AddChild(igControl* control);
  // The text control given this name with SetName, or null.
  virtual igTextControl* FindChild(const char* name);
  // Result of the last modal wait: -1 after Esc, 100 after a callback's 100.
  virtual int GetResult();
  virtual void SetFlag(unsigned short value);
  virtual void SetOption(unsigned short value);
  virtual void SetColors(unsigned short first, unsigned short second);
  virtual unsigned short GetFirstColor();
  // Lays the form out before it is shown.
  virtual void Prepare();

  igWidget* Widget() const { return widget_; }

 protected:
  explicit igContainer(igWidget* widget) : widget_(widget) {}
  ~igContainer() = default;
  igContainer(const igContainer&) = delete;
  igContainer& operator=(const igContainer&) = delete;

 private:
  igWidget* widget_;
};

class igForm final : public igContainer {
 public:
  igForm(const char* title, igImage* image);
  ~igForm() = default;
};

// The line along the top of the screen; holds the clock and the battery indicator.
class igStatusLine final : public igContainer {
 public:
  igStatusLine(unsigned short height, unsigned short mode);
  ~igStatusLine() = default;
};

// Controls that show a text: labels and multi-line text blocks.
class igTextControl : public igControl {
 public:
  virtual void SetName(const char* name);
  // 0 plain, 1 text block, 4 framed, 5 large.
  virtual void SetStyle(unsigned short value);
  virtual void SetText(const char* text);

 protected:
  using igControl::igControl;
  ~igTextControl() = default;
};

class igStatic final : public igTextControl {
 public:
  igStatic(short x, short y, unsigned short w, unsigned short h, const char* text, igImage* image);
  ~igStatic() = default;
};

class igMultiLine final : public igTextControl {
 public:
  igMultiLine(short x, short y, unsigned short w, unsigned short h, unsigned short style,
              const char* text);
  ~igMultiLine() = default;
};

// A button; pressing it delivers an event with its code.
class igButton final : public igControl {
 public:
  igButton(short x, short y, unsigned short w, unsigned short h, const char* text,
           igImage* image, unsigned char code);
  ~igButton() = default;
};

// Status-line gadgets: the clock and the battery indicator.
class igGadget : public igControl {
 public:
  virtual void SetColors(unsigned short first, unsigned short second);
  virtual unsigned short GetSecondColor();
  virtual void SetLevelColors(unsigned short a, unsigned short b, unsigned short c);
  virtual void SetTextColor(unsigned short colour);
  // Text drawn over the level; null draws none.
  virtual void SetLevelText(const char* text);

 protected:
  using igControl::igControl;
  ~igGadget() = default;
};

class igClock final : public igGadget {
 public:
  igClock(short x, short y, unsigned short w, unsigned short h, unsigned short format);
  ~igClock() = default;
};

// Battery indicator; draws from the status word its callback returns
// (percentage in the low byte, 0x1000 low, 0x2000 external power).
class igBatLevel final : public igGadget {
 public:
  igBatLevel(short x, short y, unsigned short w, unsigned short h, igLevelCallback callback);
  ~igBatLevel() = default;
};

class igUI {
 public:
  // Starts the toolkit; returns the one igUI object of the process.
  static igUI* Init(unsigned short mode);
  static int GetWidth();
  static int GetClientWidth();
  static int GetClientHeight();

  void SetStatusLine(igStatusLine* line);
  void Add(igForm* form);
  // Removes the form and releases it; does not erase the screen.
  void Del(igForm* form);
  // Shows the form modally; WaitEndModal then runs until the form ends.
  void Show(igForm* form);
  void Show(igForm* form, igFormCallback callback);
  // Draws the form and returns at once.
  void View(igForm* form);
  // Runs the modal loop of the form last shown until it ends.
  void WaitEndModal();

 private:
  igUI() = default;
};

#endif
