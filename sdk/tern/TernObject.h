#pragma once
// The common root of the messenger SDK's value classes. It lets a field that holds "any object"
// (a message's media object) keep one of them and lets readers test which class it is.

class TernObject {
  public:
    virtual ~TernObject() = default;
};
