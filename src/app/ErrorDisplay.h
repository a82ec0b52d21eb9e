// How the program shows messages and failures to the user: the dialog behind the platform's
// message-box function, and the top-level display of an exception.
#pragma once

#include <exception>

// Makes Platform::ShowMessageBox show a real dialog. Only the interface thread shows one; a
// call from another thread goes to standard error and answers the default button, as
// workers never touch widgets.
void InstallMessageBoxHandler();

// The application's standard display of a failure: the exception's text in an error box
// captioned with the application's name.
void ShowException(const std::exception& error);
void ShowUnknownException();

// Runs work and shows whatever it raises: an exception must never cross the event loop.
template <class Work>
void RunGuarded(Work&& work)
{
    try {
        work();
    } catch (const std::exception& error) {
        ShowException(error);
    } catch (...) {
        ShowUnknownException();
    }
}
