#pragma once
// Records the message boxes the code under test would show, answering each with `answer`.
#include <vector>

#include "MessageBoxes.h"

class MessageBoxRecorder {
 public:
  explicit MessageBoxRecorder(int answer = IDOK) {
    previous_ = Error::SetMessageBoxPresenter([this, answer](const Error::MessageBoxRequest& r) {
      shown.push_back(r);
      return answer;
    });
  }
  ~MessageBoxRecorder() { Error::SetMessageBoxPresenter(std::move(previous_)); }
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

  std::vector<Error::MessageBoxRequest> shown;

 private:
  Error::MessageBoxPresenter previous_;
};
