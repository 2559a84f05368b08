// Helpers for facade tests: records with chosen band settings and temporary profile files.
#pragma once

#include "vyk.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

inline std::vector<unsigned char> bytesOf(const MasterBlock& record)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    return std::vector<unsigned char>(bytes, bytes + sizeof(record));
}

// A file in the test's temporary directory, removed when the object goes.
class TempFile
{
  public:
    explicit TempFile(const std::string& name, const std::vector<unsigned char>& contents)
        : path(std::string(::testing::TempDir()) + name)
    {
        FILE* file = std::fopen(path.c_str(), "wb");
        if (file != nullptr)
        {
            std::fwrite(contents.data(), 1, contents.size(), file);
            std::fclose(file);
        }
    }
    ~TempFile() { std::remove(path.c_str()); }
    const char* c_str() const { return path.c_str(); }

  private:
    std::string path;
};
