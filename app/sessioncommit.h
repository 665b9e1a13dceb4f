#pragma once

#include "app/layer.h"

#include <QString>

#include <functional>

class Prompts;

// What a session manager allows while the program keeps its data before the
// session ends: a box only after allowsInteraction() answered true (it may
// wait for other programs' boxes first), and release() once done with it.
struct SessionRules {
    std::function<bool()> allowsInteraction;
    std::function<void()> release;
};

// Stores the list for a session that may end the program without another
// word. store() stores and answers why it could not, or nothing. A failure is
// told in a box when the session allows it, else on the standard error.
// The logout is never refused.
void CommitForSession(const SessionRules &session, Prompts &prompts, const std::function<QString()> &store);
