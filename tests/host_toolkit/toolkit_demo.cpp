// A small program on the toolkit, for the script run tests and the idle benchmark:
// a form that counts the idle events it receives, a button that opens a question box,
// a notice drawn without waiting, and a status line with clock and battery indicator.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "host/program/shell.h"
#include "platform/ui_toolkit.h"

namespace {

int idleEvents = 0;
std::atomic<unsigned> monitorPasses{0};

int OnMainEvent(igEvent* event, intptr_t formHandle) {
  igForm* form = reinterpret_cast<igForm*>(formHandle);
  char text[64];
  if (event->code == 0) ++idleEvents;
  std::snprintf(text, sizeof text, "Простои: %d", idleEvents);
  form->FindChild("Idle")->SetText(text);
  if (event->code != 0) {
    std::snprintf(text, sizeof text, "Клавиша: %d", event->code);
    form->FindChild("Key")->SetText(text);
  }
  return event->code == 8 ? 100 : 2;
}

unsigned short BatteryLevel(intptr_t indicator) {
  reinterpret_cast<igBatLevel*>(indicator)->SetLevelText("57");
  return 57;
}

}  // namespace

int main() {
  termsim::StartHostShell();
  igUI* ui = igUI::Init(0);
  igColor::SetColor(IG_OBJ_SCREEN, 0x0000, 0x001F);

  igStatusLine* line = new igStatusLine(20, 1);
  igClock* clock = new igClock(0, 0, 240, 20, 3);
  clock->SetColors(0xFFE0, 0x0000);
  line->AddChild(clock);
  ui->SetStatusLine(line);
  igBatLevel* indicator = new igBatLevel(300, 0, 20, 20, BatteryLevel);
  line->AddChild(indicator);

  // A thread that outlives the script, as a battery monitor would.
  std::thread([] {
    for (;;) {
      monitorPasses.fetch_add(1);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }).detach();

  igStatic* idle = new igStatic(2, 0, 316, 10, "Простои: 0", nullptr);
  idle->SetName("Idle");
  igStatic* key = new igStatic(2, 20, 316, 10, "", nullptr);
  key->SetName("Key");
  igStatic* answer = new igStatic(2, 40, 316, 10, "", nullptr);
  answer->SetName("Answer");
  igButton* start = new igButton(2, 130, 158, 35, "ПУСК", nullptr, 8);
  igForm* form = new igForm("ДЕМО", nullptr);
  form->SetFlag(8);
  form->AddChild(start);
  form->AddChild(answer);
  form->AddChild(key);
  form->AddChild(idle);
  ui->Add(form);

  for (;;) {
    form->Prepare();
    ui->Show(form, OnMainEvent);
    ui->WaitEndModal();
    if (form->GetResult() != 100) continue;

    igForm* box = new igForm("ВОПРОС", nullptr);
    box->SetFlag(8);
    box->AddChild(new igMultiLine(2, 2, 314, 125, 1, "Продолжить?\r\nДа или нет"));
    box->AddChild(new igButton(180, 150, 120, 30, "ОК", nullptr, 13));
    box->AddChild(new igButton(20, 150, 120, 30, "ОТМЕНА", nullptr, 27));
    ui->Add(box);
    box->Prepare();
    ui->Show(box);
    ui->WaitEndModal();
    char text[64];
    std::snprintf(text, sizeof text, "Ответ: %d", box->GetResult());
    answer->SetText(text);
    ui->Del(box);

    igForm* notice = new igForm("ПОДОЖДИТЕ", nullptr);
    notice->AddChild(new igMultiLine(2, 2, 314, 125, 1, "Занято"));
    ui->Add(notice);
    ui->View(notice);
    ui->Del(notice);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // busy elsewhere
  }
}
