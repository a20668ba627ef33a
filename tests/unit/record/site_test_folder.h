#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

// A fresh temporary folder for one test, removed with the object.
class CTestFolder {
public:
  CTestFolder() {
    char pattern[] = "/tmp/ips-site-test-XXXXXX";
    m_path = ::mkdtemp(pattern) ? pattern : "";
  }
  ~CTestFolder() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  std::string File(const std::string& name) const { return m_path + "/" + name; }
  const std::string& Path() const { return m_path; }

private:
  std::string m_path;
};
