// Set-up and shutdown steps that the diary, appearance and interaction folders have not taken over
// yet. Each does nothing; the folder that owns a step moves its definition there.
#include "app/calendar_dlg.h"

void CCalendarDlg::LoadNotesOrFirstNote() {}
void CCalendarDlg::LoadSettingsOrDefaults() {}
void CCalendarDlg::ApplySettings() {}
void CCalendarDlg::BuildContextMenu() {}
void CCalendarDlg::InstallTrayIcon(bool) {}
void CCalendarDlg::RemoveTrayIcon() {}
void CCalendarDlg::MarkNoteDays() {}
void CCalendarDlg::StoreCurrentNote() {}
void CCalendarDlg::SaveSettingsOnClose() {}
void CCalendarDlg::SaveNotesOnClose() {}
std::string CCalendarDlg::DateKeyOfInstant(std::int64_t) const { return {}; }
void CCalendarDlg::ShowAboutBox() {}
