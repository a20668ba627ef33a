#include "core/device/credential_gate.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using device_ops::AuthOutcome;

// Answers as letters: a accepted, r refused, e empty credential, n no answer, b not built.
AuthOutcome Answer(char c) {
  switch (c) {
    case 'a':
      return AuthOutcome::kAccepted;
    case 'r':
      return AuthOutcome::kRefused;
    case 'e':
      return AuthOutcome::kEmptyCredentials;
    case 'n':
      return AuthOutcome::kNoAnswer;
    default:
      return AuthOutcome::kNotBuilt;
  }
}

TEST(CredentialGate, ClosesOnlyAfterTheFirstRefusalsWithNoAcceptance) {
  struct Case {
    const char* answers;
    bool closed;
    bool onlyRefusals;
  } cases[] = {
      {"", false, false},
      {"rr", false, true},     // two refusals: the third device is still tried
      {"rrr", true, true},     // the third refusal closes it
      {"rer", true, true},     // an empty credential is a refusal too
      {"rnnbr", false, true},  // silent devices and unbuilt requests count neither way
      {"rnrnr", true, true},
      {"arrrrr", false, false},  // one acceptance: the credential is right, the rest are named
      {"rrarrr", false, false},
      {"nnnnnn", false, false},
  };
  for (const Case& c : cases) {
    CCredentialGate gate;
    for (const char* a = c.answers; *a != '\0'; ++a) gate.Record(Answer(*a));
    EXPECT_EQ(gate.Closed(), c.closed) << c.answers;
    EXPECT_EQ(gate.OnlyRefusals(), c.onlyRefusals) << c.answers;
  }
}

TEST(CredentialGate, AProbeOfOneOrLessClosesOnTheFirstRefusal) {
  for (int probe : {1, 0, -4}) {
    CCredentialGate gate(probe);
    EXPECT_FALSE(gate.Closed()) << probe;
    gate.Record(AuthOutcome::kRefused);
    EXPECT_TRUE(gate.Closed()) << probe;
  }
}

}  // namespace
