// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a TComm raised, for the tests of both backends.
#include "serial/Comm.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zelbor::test {

// Records what the component raised, in order.
struct Recorder {
    std::vector<std::vector<std::uint8_t>> chunks;
    bool zeroAfterEveryChunk = true;
    int hangups = 0;
    int empties = 0;

    void Attach(TComm& comm)
    {
        comm.OnReceiveData = [this](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
            chunks.emplace_back(buffer, buffer + length);
            if (buffer[length] != 0)
                zeroAfterEveryChunk = false;
        };
        comm.OnRequestHangup = [this](TComm&) { ++hangups; };
        comm.OnSendDataEmpty = [this](TComm&) { ++empties; };
    }
    std::size_t Bytes() const
    {
        std::size_t n = 0;
        for (const auto& c : chunks)
            n += c.size();
        return n;
    }
    std::vector<std::uint8_t> All() const
    {
        std::vector<std::uint8_t> all;
        for (const auto& c : chunks)
            all.insert(all.end(), c.begin(), c.end());
        return all;
    }
};

} // namespace zelbor::test
