// A recordset whose provider fails to read one field of one record: everything else is the
// real SQLite recordset underneath.
#pragma once

#include <memory>
#include <vector>

#include "tabrix/error.h"
#include "tabrix/platform/database.h"

namespace tabrix::filltest {

class FailingFieldRecordset : public platform::Recordset {
 public:
  FailingFieldRecordset(std::shared_ptr<platform::Recordset> inner, std::int32_t failingField,
                        std::int64_t failingRecord)
      : inner_(std::move(inner)), fields_(*this), failingField_(failingField),
        failingRecord_(failingRecord) {}

  void Open(const std::string& source, std::shared_ptr<platform::Connection> connection,
            int cursorType, int lockType, int options) override {
    inner_->Open(source, std::move(connection), cursorType, lockType, options);
  }
  int State() const override { return inner_->State(); }
  void Close() override { inner_->Close(); }
  bool Eof() const override { return inner_->Eof(); }
  void MoveFirst() override {
    inner_->MoveFirst();
    position_ = 0;
  }
  void MoveNext() override {
    inner_->MoveNext();
    ++position_;
  }
  platform::Fields& GetFields() override { return fields_; }

 private:
  class FailingField : public platform::Field {
   public:
    FailingField(platform::Field& inner, bool fails) : inner_(inner), fails_(fails) {}
    std::string Name() const override { return inner_.Name(); }
    std::int32_t Attributes() const override { return inner_.Attributes(); }
    Variant Value() const override {
      if (fails_) throw AutomationError(-2147467259, "Provider", "Unspecified error");
      return inner_.Value();
    }
    Variant GetChunk(std::int32_t size) override {
      if (fails_) throw AutomationError(-2147467259, "Provider", "Unspecified error");
      return inner_.GetChunk(size);
    }

   private:
    platform::Field& inner_;
    bool fails_;
  };

  class WrappedFields : public platform::Fields {
   public:
    explicit WrappedFields(FailingFieldRecordset& owner) : owner_(owner) {}
    std::int32_t Count() const override { return owner_.inner_->GetFields().Count(); }
    platform::Field& Item(std::int32_t index) override {
      platform::Field& inner = owner_.inner_->GetFields().Item(index);
      const bool fails = index == owner_.failingField_ && owner_.position_ == owner_.failingRecord_;
      current_ = std::make_unique<FailingField>(inner, fails);
      return *current_;
    }

   private:
    FailingFieldRecordset& owner_;
    std::unique_ptr<FailingField> current_;
  };

  std::shared_ptr<platform::Recordset> inner_;
  WrappedFields fields_;
  std::int32_t failingField_;
  std::int64_t failingRecord_;
  std::int64_t position_ = 0;
};

}  // namespace tabrix::filltest
