// Makes the history interface and its events callable across processes in
// every program that uses them: including the interface registers its proxy
// and stub with the component runtime before main runs.
#pragma once

namespace wys {

// Registers IWYSCURLBase and IWYSCURLBaseEvents with the runtime. Returns true.
bool RegisterIWYSCURLBaseRemoting();

inline const bool kIWYSCURLBaseRemotable = RegisterIWYSCURLBaseRemoting();

}  // namespace wys
