// What the program's screens share: event codes, screen results, form flags, text
// styles, and the toolkit's 16-bit coordinates.
#ifndef APP_SCREEN_CODES_H
#define APP_SCREEN_CODES_H

// Event codes: the keypad's keys, and the buttons that send them.
enum : unsigned char {
  CODE_UPLOAD = 8,   // the UPLOAD button (Backspace)
  CODE_OK = 13,      // Enter, OK buttons
  CODE_CANCEL = 27,  // Esc, Cancel buttons
};

// Results of a modal screen.
enum {
  RESULT_CANCELLED = -1,  // ended by CODE_CANCEL
  RESULT_UPLOAD = 100,    // the main screen's UPLOAD
};

// Form flags.
constexpr unsigned short FORM_FLAG_FRAMED = 8;
constexpr unsigned short FORM_FLAG_ERROR = 32;

// Text styles.
constexpr unsigned short STYLE_PLAIN = 0;
constexpr unsigned short STYLE_TEXT_BLOCK = 1;
constexpr unsigned short STYLE_FRAMED = 4;
constexpr unsigned short STYLE_LARGE = 5;

// Screen arithmetic is done in int; the toolkit takes positions as 16-bit signed and
// sizes as 16-bit unsigned values.
inline short Coord(int v) { return static_cast<short>(v); }
inline unsigned short Extent(int v) { return static_cast<unsigned short>(v); }

#endif
