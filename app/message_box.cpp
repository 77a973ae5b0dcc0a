#include "app/message_box.h"

#include "app/screen_codes.h"

namespace {

constexpr unsigned short COLOUR_ERROR = 0x8000;   // dark red
constexpr unsigned short BUTTON_HEIGHT = 30;

}  // namespace

int ShowMessageBox(igUI* ui, const char* title, const char* text, uint16_t flags) {
  const unsigned short cw = Extent(igUI::GetClientWidth());
  const unsigned short ch = Extent(igUI::GetClientHeight());
  const unsigned kind = flags & ~(MB_ERROR | MB_PLAINTEXT);

  igForm* form = new igForm(title, nullptr);
  form->SetFlag(FORM_FLAG_FRAMED);
  if (flags & MB_ERROR) {
    form->SetFlag(FORM_FLAG_ERROR);
    form->SetColors(form->GetFirstColor(), COLOUR_ERROR);
  }

  igMultiLine* body = new igMultiLine(2, 2, Extent(cw - 6), Extent(ch - 95), STYLE_TEXT_BLOCK, text);
  if (flags & MB_PLAINTEXT) body->SetStyle(STYLE_PLAIN);
  form->AddChild(body);

  const short buttonY = Coord(ch - 70);
  if (kind == 0 || kind == MB_OK) {
    form->AddChild(new igButton(Coord(cw / 4), buttonY, Extent(cw / 2), BUTTON_HEIGHT, "OK", nullptr,
                                CODE_OK));
  } else if (!(flags & MB_NOWAIT)) {
    // "OТМЕНА" starts with a Latin capital O, as the terminal has always shown it.
    igButton* cancel = new igButton(Coord(cw / 16), buttonY, Extent((6 * cw) / 16), BUTTON_HEIGHT,
                                    "OТМЕНА", nullptr, CODE_CANCEL);
    igButton* ok = new igButton(Coord((9 * cw) / 16), buttonY, Extent((6 * cw) / 16), BUTTON_HEIGHT,
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
