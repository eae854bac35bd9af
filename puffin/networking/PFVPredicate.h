#pragma once
// Predicates that state the expected shape of a parsed JSON value and, when a value does not
// fit, say where and why: every failure is an Error of domain "PFVPredicateError", code 1, whose
// user info holds "error" (the message) and, for combinators, their children's user info, so a
// failure is a tree. Masks (key -> predicate) describe dictionaries; the API reply schemas are
// written with them.
//
// A value is absent when the pointer is null; a JSON null is a present value. Predicates are
// immutable and may be shared and run on any thread; the cached ones are built once.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

class PFVPredicate {
  public:
    using Block = std::function<bool(const platform::Value* value, platform::Error* error)>;
    explicit PFVPredicate(Block block) : block_(std::move(block)) {}
    const Block& block() const { return block_; }

  private:
    Block block_;
};

using PFVPredicateRef = std::shared_ptr<const PFVPredicate>;
using PFVMask = std::map<std::string, PFVPredicateRef, std::less<>>;

// The kinds a value can be an instance of; Object is any present value.
enum class PFVClass { Object, String, Number, Array, Dictionary };

extern const char* const kPFVPredicateErrorDomain;  // "PFVPredicateError"

PFVPredicateRef PFVPredicateWithBlock(PFVPredicate::Block block);
// Returns `condition`; when it is false, stores {"error": message} plus `extra` in *error.
bool PFVErrorWithMessage(bool condition,
                         const std::string& message,
                         platform::Error* error,
                         platform::Dictionary extra = {});
PFVPredicateRef PFVInstanceOf(PFVClass cls);
PFVPredicateRef PFVString();  // cached
PFVPredicateRef PFVNumber();  // cached; JSON numbers and booleans
PFVPredicateRef PFVNull();    // cached; passes on an absent value only
PFVPredicateRef PFVEqual(platform::Value expected);
PFVPredicateRef PFVInSet(platform::Array options);
PFVPredicateRef PFVUnion(std::vector<PFVPredicateRef> predicates);
PFVPredicateRef PFVOption(std::vector<PFVPredicateRef> predicates);
PFVPredicateRef PFVOptional(PFVPredicateRef predicate);
PFVPredicateRef PFVStatusCode();  // cached
PFVPredicateRef PFVArray(PFVPredicateRef element);
PFVPredicateRef PFVDictionary(PFVMask mask);

// Runs the predicate on the value.
bool matchesPFVPredicate(const platform::Value* value,
                         const PFVPredicateRef& predicate,
                         platform::Error* error);
// PFVDictionary of the mask on the dictionary. Keys the mask does not name are always allowed,
// whatever `allowExtraKeys` says.
bool matchesMask(const platform::Value& dictionary,
                 const PFVMask& mask,
                 bool allowExtraKeys,
                 platform::Error* error);
bool matchesPredicate(const platform::Value& dictionary,
                      const PFVPredicateRef& predicate,
                      platform::Error* error);
