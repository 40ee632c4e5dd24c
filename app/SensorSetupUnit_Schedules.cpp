// The set-up dialog's schedules page: schedules, their channels, scan and
// record times, maximum scans and averaging; adding, deleting and renaming
// schedules.
#include "SensorSetupUnit.h"

void TSensorSetupForm::BuildSchedulePages() {}

void TSensorSetupForm::ShowSchedule(int) {}

void TSensorSetupForm::SchedulesAveragingTabShow() {}

void TSensorSetupForm::AddScheduleClick() {}

void TSensorSetupForm::DeleteScheduleClick() {}

void TSensorSetupForm::RenameScheduleClick() {}
