#include "app/dialog_templates.h"

#include "resource.h"

namespace cw {

namespace {

constexpr DWORD kChild = 0x50000000u;  // WS_CHILD | WS_VISIBLE

DialogResources BuildTemplates() {
  DialogResources t;
  t.push_back(DialogTemplate{
      IDD_START_PAGE, 0x90C800C0u, 0x00040000u, 0, 0, 160, 120, "Chanwiz Wizard", "Arial", 8,
      {
          {IDC_TVSYSTEM_BUTTON, "BUTTON", kChild | 0x00010001u, 0, 45, 60, 70, 20, "Sistema TV"},
          {IDC_COUNTRY_BUTTON, "BUTTON", kChild | 0x00010000u, 0, 45, 90, 70, 20, "Nazione"},
          {IDC_START_TIP, "STATIC", kChild | 0x00020000u, 0, 10, 15, 140, 35,
           "Now the Chanwiz Wizard will take you to re-initialize your TV System settings step "
           "by step so that the TV Tuner Device can work well."},
      }});
  t.push_back(DialogTemplate{
      IDD_STANDARD_PAGE, 0x80C800C0u, 0, 0, 0, 160, 160, "Selezione Sistema TV", "Arial", 8,
      {
          {1, "BUTTON", 0x50010001u, 0, 15, 135, 50, 15, "OK"},
          {2, "BUTTON", 0x50010000u, 0, 95, 135, 50, 15, "Cancel"},
          {IDC_SYSTEM_LIST, "LISTBOX", 0x50A10101u, 0x00020200u, 15, 30, 130, 100, ""},
          {IDC_SYSTEM_LABEL, "STATIC", 0x50020200u, 0, 15, 10, 75, 12, "Il Sistema TV ?"},
          {IDC_SYSTEM_NAME, "EDIT", 0x58810080u, 0, 95, 10, 50, 12, ""},
      }});
  t.push_back(DialogTemplate{
      IDD_COUNTRY_PAGE, 0x80C800C0u, 0, 0, 0, 160, 160, "Selezione Nazione", "Arial", 8,
      {
          {1, "BUTTON", 0x50010001u, 0, 15, 135, 50, 15, "OK"},
          {2, "BUTTON", 0x50010000u, 0, 95, 135, 50, 15, "Cancel"},
          {IDC_COUNTRY_LIST, "LISTBOX", 0x50A10101u, 0, 15, 30, 130, 100, ""},
          {IDC_COUNTRY_TIP, "STATIC", 0x50020200u, 0, 15, 10, 90, 12, "Nomi in ordine alfabetico"},
          {IDC_LETTER_BOX, "COMBOBOX", 0x50210102u, 0, 115, 10, 30, 110, ""},
      }});
  t.push_back(DialogTemplate{
      IDD_RESTART_PAGE, 0x80C800C0u, 0, 0, 0, 200, 120, "Restart your computer", "Arial", 8,
      {
          {1, "BUTTON", 0x50010001u, 0, 75, 100, 50, 15, "OK"},
          {IDC_RESTART_NOTE, "STATIC", 0x50020000u, 0x00000201u, 15, 10, 170, 55,
           "Nota: il computer deve essere riavviato."},
          {IDC_RESTART_YES, "BUTTON", 0x50000009u, 0, 20, 70, 160, 12,
           "Si, riavvia il computer adesso."},
          {IDC_RESTART_NO, "BUTTON", 0x50000009u, 0, 20, 85, 160, 12,
           "No, riavvia il computer piu tardi."},
      }});
  return t;
}

}  // namespace

const DialogResources& WizardDialogs() {
  static const DialogResources templates = BuildTemplates();
  return templates;
}

}  // namespace cw
