// The Recordset handed out by CreateRecordset: a static cursor over the rows a connection
// delivers (QueryResult). One object serves any number of Open/Close cycles; its Field objects
// are kept across them, so a Field reference stays valid while the recordset lives.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/database_errors.h"
#include "support/utf8.h"
#include "tabrix/platform/database.h"

namespace tabrix::platform {
namespace {

class StandardRecordset;

class StandardField final : public Field {
 public:
  StandardField(StandardRecordset& owner, std::int32_t index) : owner_(owner), index_(index) {}

  std::string Name() const override;
  std::int32_t Attributes() const override;
  Variant Value() const override;
  Variant GetChunk(std::int32_t size) override;

  // Forgets a chunked read in progress (a new query or a closed recordset).
  void ResetChunks() {
    chunkRecord_ = -1;
    chunkValue_ = Variant();
  }

 private:
  StandardRecordset& owner_;
  std::int32_t index_;
  // The value being read in chunks, the record it belongs to, and how far it has been read.
  std::int64_t chunkRecord_ = -1;
  std::uint64_t chunkGeneration_ = 0;
  Variant chunkValue_;
  std::size_t chunkOffset_ = 0;
};

class StandardFields final : public Fields {
 public:
  explicit StandardFields(StandardRecordset& owner) : owner_(owner) {}
  std::int32_t Count() const override;
  Field& Item(std::int32_t index) override;
  // Makes `count` fields available, reusing the existing objects.
  void Prepare(std::int32_t count);

 private:
  StandardRecordset& owner_;
  std::vector<std::unique_ptr<StandardField>> fields_;
};

class StandardRecordset final : public Recordset {
 public:
  StandardRecordset() : fields_(*this) {}

  void Open(const std::string& source, std::shared_ptr<Connection> activeConnection,
            int /*cursorType*/, int /*lockType*/, int /*options*/) override {
    if (result_) RaiseObjectOpen("Recordset");
    if (!activeConnection || activeConnection->State() != kStateOpen)
      RaiseConnectionUnusable("Recordset");
    Adopt(activeConnection->Query(source));
  }

  // Opens on `result`'s first row. A result without fields (a statement that returns no rows)
  // leaves the recordset closed, as the platform does.
  void Adopt(std::unique_ptr<QueryResult> result) {
    ++generation_;
    if (!result || result->FieldCount() == 0) return;
    result_ = std::move(result);
    count_ = result_->RecordCount();
    position_ = 0;
    fields_.Prepare(result_->FieldCount());
  }

  int State() const override { return result_ ? kStateOpen : kStateClosed; }

  void Close() override {
    if (!result_) RaiseObjectClosed("Recordset");
    result_.reset();
    ++generation_;
    fields_.Prepare(0);
  }

  bool Eof() const override {
    if (!result_) RaiseObjectClosed("Recordset");
    return position_ >= count_;
  }

  void MoveFirst() override {
    if (!result_) RaiseObjectClosed("Recordset");
    position_ = 0;
  }

  void MoveNext() override {
    if (!result_) RaiseObjectClosed("Recordset");
    if (position_ >= count_) RaiseNoCurrentRecord("Recordset");
    ++position_;
  }

  Fields& GetFields() override { return fields_; }

  // For the fields.
  const QueryResult* Result() const { return result_.get(); }
  std::int64_t Position() const { return position_; }
  std::uint64_t Generation() const { return generation_; }
  Variant CurrentValue(std::int32_t field) const {
    if (!result_) RaiseObjectClosed("Field");
    if (position_ >= count_) RaiseNoCurrentRecord("Field");
    return result_->Value(position_, field);
  }

 private:
  std::unique_ptr<QueryResult> result_;
  std::int64_t count_ = 0;
  std::int64_t position_ = 0;
  std::uint64_t generation_ = 0;  // changes with every Open and Close
  StandardFields fields_;
};

std::string StandardField::Name() const {
  const QueryResult* result = owner_.Result();
  if (!result) RaiseObjectClosed("Field");
  return result->FieldName(index_);
}

std::int32_t StandardField::Attributes() const {
  const QueryResult* result = owner_.Result();
  if (!result) RaiseObjectClosed("Field");
  return result->FieldAttributes(index_);
}

Variant StandardField::Value() const { return owner_.CurrentValue(index_); }

// Length in bytes of the first `characters` UTF-8 characters of text[offset...].
static std::size_t Utf8Span(const std::string& text, std::size_t offset, std::size_t characters) {
  return utf8::Advance(text, offset, characters) - offset;
}

Variant StandardField::GetChunk(std::int32_t size) {
  if (size < 0) RaiseInvalidArgument("Field", "GetChunk needs a size of 0 or more.");
  if (chunkRecord_ != owner_.Position() || chunkGeneration_ != owner_.Generation()) {
    chunkValue_ = owner_.CurrentValue(index_);
    if (!chunkValue_.IsNull() && chunkValue_.Type() != VariantType::Text &&
        chunkValue_.Type() != VariantType::Bytes) {
      chunkValue_ = Variant(chunkValue_.ToText());
    }
    chunkRecord_ = owner_.Position();
    chunkGeneration_ = owner_.Generation();
    chunkOffset_ = 0;
  } else {
    owner_.CurrentValue(index_);  // raises when there is no current record any more
  }
  if (chunkValue_.IsNull()) return Variant::Null();
  const std::string& data = chunkValue_.Text();
  if (chunkOffset_ >= data.size()) return Variant::Null();
  bool bytes = chunkValue_.Type() == VariantType::Bytes;
  std::size_t length = bytes ? std::min<std::size_t>(static_cast<std::size_t>(size),
                                                      data.size() - chunkOffset_)
                             : Utf8Span(data, chunkOffset_, static_cast<std::size_t>(size));
  std::string piece = data.substr(chunkOffset_, length);
  chunkOffset_ += length;
  return bytes ? Variant::Bytes(std::move(piece)) : Variant(std::move(piece));
}

std::int32_t StandardFields::Count() const {
  const QueryResult* result = owner_.Result();
  return result ? result->FieldCount() : 0;
}

Field& StandardFields::Item(std::int32_t index) {
  if (index < 0 || index >= Count()) RaiseItemNotFound("Fields");
  return *fields_[static_cast<std::size_t>(index)];
}

void StandardFields::Prepare(std::int32_t count) {
  while (static_cast<std::int32_t>(fields_.size()) < count)
    fields_.push_back(
        std::make_unique<StandardField>(owner_, static_cast<std::int32_t>(fields_.size())));
  for (auto& field : fields_) field->ResetChunks();
}

}  // namespace

std::shared_ptr<Recordset> CreateRecordset() { return std::make_shared<StandardRecordset>(); }

std::shared_ptr<Recordset> CreateRecordset(std::unique_ptr<QueryResult> rows) {
  auto recordset = std::make_shared<StandardRecordset>();
  recordset->Adopt(std::move(rows));
  return recordset;
}

}  // namespace tabrix::platform
