#pragma once

#include "core/Result.h"

// The self-test's checks of the protocol and safety rules, on synthetic data only: the proxy
// set-up of the network session, the origin policy, update packages, invite links and rewards.
// Each fails with its own sentence.
namespace velmora::SelfTestChecks {

// "system" leaves the proxy to the desktop; "direct" switches every kind of proxy off.
Status sessionProxy();
// The official origin is accepted as itself; a foreign HTTPS host is refused.
Status originPolicy();
// This platform's and the Mac's packages are accepted with a digest; a Windows one never is.
Status updatePackages();
// An invite link round-trips; links and tickets that are almost right are refused.
Status inviteLinks();
// A reward status decodes with the derived answers the rewards window acts on.
Status rewardStatus();
// Issued codes, a closed campaign, no stock and an unsafe address take those answers away; a
// referral claim names its source.
Status rewardEligibility();

} // namespace velmora::SelfTestChecks
