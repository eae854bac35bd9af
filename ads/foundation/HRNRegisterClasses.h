#pragma once
// The ad SDK's registration, called once by the program (and by tests) before the application
// launches, in library order with the other libraries' registerClasses: it runs the SDK's
// class-load hooks, so the SDK starts itself when the app has finished launching.
// Main thread.

void HRNRegisterClasses();
