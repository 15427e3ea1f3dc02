#pragma once

#include <vector>

class NMail;

// The four text buffers handed to the mail library for every message of a
// check; a failure text shown to the user is cut to the size of one.
struct MessageTexts
{
    static constexpr int kSize = 8192;
    std::vector<char> text1 = std::vector<char>(kSize);
    std::vector<char> text2 = std::vector<char>(kSize);
    std::vector<char> text3 = std::vector<char>(kSize);
    std::vector<char> text4 = std::vector<char>(kSize);
};

// The message loop of the mail check, once the login has given the count:
// status, size and the whole message for each number from 1 to count, in
// order, nothing deleted, pipelined where the server offers it and one round
// trip per message where it does not. It ends early
// once no command can reach the server any more (link lost, no answer in
// time), or after 1,000 messages in a row that the server would not deliver
// or 60 s of such refusals.
void fetchEveryMessage(NMail& mail, int handle, int count, MessageTexts& t);
