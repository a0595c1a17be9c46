#include <windows.h>

namespace testing::internal {

// A manual-reset event: once notified, every wait returns at once.
Notification::Notification() : Event(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

Notification::~Notification() { ::CloseHandle(Event); }

void Notification::Notify() { ::SetEvent(Event); }

void Notification::WaitForNotification() { ::WaitForSingleObject(Event, INFINITE); }

}  // namespace testing::internal
