#include "bridge/arg_body.hpp"

#include <set>
#include <string>
#include <vector>

namespace zorvik::bridge {

namespace {

// A first pass that builds nothing: counts the nesting and remembers the keys
// of each open object. The parser itself keeps its state on the heap, so this
// pass is safe at any depth.
class BodyCheck final : public nlohmann::json_sax<Json> {
 public:
  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }

  bool start_object(std::size_t) override {
    if (!enter()) return false;
    objects_.emplace_back();
    return true;
  }
  bool key(string_t& key) override {
    if (depth_ == 1) topKey_ = key;
    if (!objects_.back().insert(key).second) {
      problem_ = "the key `" + key + "` is given twice";
      return false;
    }
    return true;
  }
  bool end_object() override {
    objects_.pop_back();
    --depth_;
    return true;
  }
  bool start_array(std::size_t) override {
    if (!enter()) return false;
    return true;
  }
  bool end_array() override {
    --depth_;
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) override {
    // A body that is not JSON is wrong as a whole, not under one key.
    topKey_.clear();
    problem_ = std::string("the body is not JSON: ") + e.what();
    return false;
  }

  // What was wrong, and under which top-level key it was found.
  [[nodiscard]] const std::string& problem() const { return problem_; }
  [[nodiscard]] const std::string& topKey() const { return topKey_; }

 private:
  bool enter() {
    if (++depth_ > kMaxArgDepth) {
      problem_ = "nested deeper than " + std::to_string(kMaxArgDepth) + " levels";
      return false;
    }
    return true;
  }

  std::size_t depth_ = 0;
  std::vector<std::set<std::string>> objects_;
  std::string topKey_;
  std::string problem_;
};

}  // namespace

Result<Json> parseArgBody(std::string_view command, std::string_view body) {
  if (body.empty()) return Json::object();
  BodyCheck check;
  if (!Json::sax_parse(body, &check, nlohmann::detail::input_format_t::json, true, false)) {
    std::string where = check.topKey().empty() ? std::string() : "`" + check.topKey() + "` ";
    return fail("invalid args " + where + "for command `" + std::string(command) + "`: " + check.problem());
  }
  return Json::parse(body, nullptr, false);
}

}  // namespace zorvik::bridge
