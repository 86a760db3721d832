// Answers the installer's questions in place of the user and keeps them.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "environment.h"

struct AskedQuestion {
    std::string caption, text, first, second;
};

class QuestionRecorder {
public:
    // Answers in turn, then gives no answer (0); the hook runs before each answer.
    QuestionBox Answering(std::vector<int> answers, std::function<void()> hook = nullptr) {
        auto next = std::make_shared<size_t>(0);
        return [this, answers, hook, next](const PString& caption, const PString& text, const PString& first,
                                           const PString& second) {
            asked.push_back({caption.text(), text.text(), first.text(), second.text()});
            if (hook)
                hook();
            return *next < answers.size() ? answers[(*next)++] : 0;
        };
    }

    std::vector<AskedQuestion> asked;
};
