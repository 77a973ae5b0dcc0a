#include "app/main_screen.h"

#include <sys/stat.h>

#include "app/screen_refresh.h"
#include "battery/status_line.h"
#include "upload/upload_dialog.h"

namespace {

const char* const MAIN_TITLE = "KELDRAN Oct 14 2017";
const char* const DATA_DIR = "./data";
constexpr unsigned short COLOUR_SCREEN_TEXT = 0x0000;
constexpr unsigned short COLOUR_SCREEN_BACK = 0x001F;
constexpr mode_t DATA_DIR_MODE = 0777;

constexpr unsigned short MAIN_FORM_OPTION = 6;

igStatic* NamedStatic(int x, int y, int w, int h, const char* text, const char* name,
                      unsigned short style) {
  igStatic* control = new igStatic(Coord(x), Coord(y), Extent(w), Extent(h), text, nullptr);
  control->SetName(name);
  control->SetStyle(style);
  return control;
}

}  // namespace

igForm* BuildMainScreen(igUI* ui) {
  const int w = igUI::GetWidth();
  const int third = (w - 4) / 3;
  const int half = (w - 4) / 2;

  igStatic* mode = NamedStatic(2, 0, w - 4, 10, "РЕЖИМ:", "Mode", STYLE_PLAIN);
  igStatic* max = NamedStatic(2, 10, w - 4, 28, "", "Max", STYLE_LARGE);
  igStatic* now = NamedStatic(2, 40, w - 4, 28, "", "Now", STYLE_LARGE);
  igStatic* min = NamedStatic(2, 70, w - 4, 28, "", "Min", STYLE_LARGE);
  igStatic* cur = NamedStatic(2, 100, third, 28, "", "Cur", STYLE_LARGE);
  igStatic* jit = NamedStatic(third + 2, 100, third, 28, "", "Jit", STYLE_LARGE);
  igStatic* prc = NamedStatic((2 * (w - 4)) / 3 + 2, 100, third, 28, "", "Prc", STYLE_LARGE);
  igButton* upload = new igButton(2, 130, Extent(half), 35, "UPLOAD", nullptr, CODE_UPLOAD);
  igStatic* size = NamedStatic(half + 2, 130, half, 35, "", "Size", STYLE_FRAMED);

  igForm* form = new igForm(MAIN_TITLE, nullptr);
  form->SetFlag(FORM_FLAG_FRAMED);
  form->SetOption(MAIN_FORM_OPTION);
  form->AddChild(max);
  form->AddChild(now);
  form->AddChild(min);
  form->AddChild(cur);
  form->AddChild(jit);
  form->AddChild(prc);
  form->AddChild(upload);
  form->AddChild(size);
  form->AddChild(mode);
  ui->Add(form);
  return form;
}

int RunMainScreenOnce(igUI* ui, igForm* form) {
  form->Prepare();
  ui->Show(form, RefreshMainScreen);
  ui->WaitEndModal();
  int result = form->GetResult();
  if (result == RESULT_UPLOAD) RunUploadDialog(ui);
  return result;
}

void RunBatteryTest() {
  igUI* ui = igUI::Init(0);
  igColor::SetColor(static_cast<_IG_TypeObject>(0), COLOUR_SCREEN_TEXT, COLOUR_SCREEN_BACK);
  BuildStatusLine(ui);
  igForm* form = BuildMainScreen(ui);
  // An existing directory is no failure; a missing one only makes log writes fail.
  mkdir(DATA_DIR, DATA_DIR_MODE);
  for (;;) RunMainScreenOnce(ui, form);
}
