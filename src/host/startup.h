// The module's start-up procedure: logging switch, single-instance guard, language.
#pragma once

#include <functional>
#include <string>

#include "platform/instance_lock.h"

namespace larkedi {

/// Runs the start-up procedure once per process (later calls do nothing). `headless`
/// commands never bring another process's window forward and always load the language
/// resources, since they open no window of their own.
void Startup(bool headless = false);

/// Runs the start-up steps again regardless of earlier runs (tests).
void RunStartupSteps(bool headless);

/// Takes the single-instance lock named `mutex_name`. True when this process is the only
/// one running the module.
bool WeAreAlone(const std::string& mutex_name);

/// When another process's window is tagged, asks it to come forward. True when it
/// answered: bAnotherInstance is then set, and this process opens no window. Otherwise
/// bAnotherInstance is cleared (a stale tag is replaced when this process tags its own
/// window).
bool BringOtherWindowForward();

/// Records where this process's window is, so a later process can bring it forward.
bool TagWindow(const std::string& address, const std::string& secret);
/// Forgets the tag when the window closes.
void UntagWindow();

/// Full path of the running executable.
std::string GetModulePath();

/// The language of the user's locale (LC_ALL, LC_MESSAGES, LANG): "fr" for fr_CA.UTF-8;
/// empty for C/POSIX or when unset.
std::string LocaleLanguage();

/// How a second process asks the first to bring its window forward. The default asks the
/// window's local server; tests replace it. Returns true when the window answered.
using WindowRaiser = std::function<bool(const WindowTag&)>;
void SetWindowRaiser(WindowRaiser raiser);

}  // namespace larkedi
