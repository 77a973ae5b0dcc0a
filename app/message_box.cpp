#include "app/message_box.h"

namespace {

constexpr unsigned char CODE_OK = 13;
constexpr unsigned char CODE_CANCEL = 27;
constexpr int RESULT_CANCELLED = -1;
constexpr unsigned short FORM_FLAG_FRAMED = 8;
constexpr unsigned short FORM_FLAG_ERROR = 32;
constexpr unsigned short COLOUR_ERROR = 0x8000;   // dark red
constexpr unsigned short STYLE_PLAIN = 0;
constexpr unsigned short TEXT_BLOCK_STYLE = 1;
constexpr unsigned short BUTTON_HEIGHT = 30;

unsigned short U16(int v) { return static_cast<unsigned short>(v); }
short S16(int v) { return static_cast<short>(v); }

}  // namespace

int ShowMessageBox(igUI* ui, const char* title, const char* text, uint16_t flags) {
  const unsigned short cw = U16(igUI::GetClientWidth());
  const unsigned short ch = U16(igUI::GetClientHeight());
  const unsigned kind = flags & ~(MB_ERROR | MB_PLAINTEXT);

  igForm* form = new igForm(title, nullptr);
  form->SetFlag(FORM_FLAG_FRAMED);
  if (flags & MB_ERROR) {
    form->SetFlag(FORM_FLAG_ERROR);
    form->SetColors(form->GetFirstColor(), COLOUR_ERROR);
  }

  igMultiLine* body = new igMultiLine(2, 2, U16(cw - 6), U16(ch - 95), TEXT_BLOCK_STYLE, text);
  if (flags & MB_PLAINTEXT) body->SetStyle(STYLE_PLAIN);
  form->AddChild(body);

  const short buttonY = S16(ch - 70);
  if (kind == 0 || kind == MB_OK) {
    form->AddChild(new igButton(S16(cw / 4), buttonY, U16(cw / 2), BUTTON_HEIGHT, "OK", nullptr,
                                CODE_OK));
  } else if (!(flags & MB_NOWAIT)) {
    // "OТМЕНА" starts with a Latin capital O, as the terminal has always shown it.
    igButton* cancel = new igButton(S16(cw / 16), buttonY, U16((6 * cw) / 16), BUTTON_HEIGHT,
                                    "OТМЕНА", nullptr, CODE_CANCEL);
    igButton* ok = new igButton(S16((9 * cw) / 16), buttonY, U16((6 * cw) / 16), BUTTON_HEIGHT,
                                "ОК", nullptr, CODE_OK);
    form->AddChild(ok);
    form->AddChild(cancel);
  }

  ui->Add(form);
  form->Prepare();
  int result = 1;
  if (flags & MB_NOWAIT) {
    ui->View(form);
  } else {
    ui->Show(form);
    ui->WaitEndModal();
    if (form->GetResult() == RESULT_CANCELLED) result = 2;
  }
  ui->Del(form);
  return result;
}
