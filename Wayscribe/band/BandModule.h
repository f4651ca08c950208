// What keeps the band library loaded: live band objects and class-object
// locks. DllCanUnloadNow answers from the count.
#pragma once

namespace BandModule {

void Lock();
void Unlock();
long LockCount();

}  // namespace BandModule
