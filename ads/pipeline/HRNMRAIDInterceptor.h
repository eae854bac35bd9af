#pragma once
// HRNMRAIDInterceptor: serves the MRAID script to ad pages. This holds its class-wide switch
// only: start-up allows it once and it is never disallowed; the script serving joins with the
// request pipeline. Thread-safe (a class lock).

class HRNMRAIDInterceptor {
  public:
    // Sets the class-wide "allowed" flag.
    static void allow();
    static bool allowed();
};
