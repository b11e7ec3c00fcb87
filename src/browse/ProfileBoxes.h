// The four profile boxes of the browse tab (`txtProfile` 0 to 3: user name,
// member key or address, description, extended information) as text properties.
#pragma once

#include <QObject>
#include <QString>
#include <array>

namespace zestrel
{

class ProfileBoxes : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString txtProfile_0 READ txtProfile_0 NOTIFY changed)
    Q_PROPERTY(QString txtProfile_1 READ txtProfile_1 NOTIFY changed)
    Q_PROPERTY(QString txtProfile_2 READ txtProfile_2 NOTIFY changed)
    Q_PROPERTY(QString txtProfile_3 READ txtProfile_3 NOTIFY changed)
  public:
    using QObject::QObject;
    static constexpr int Count = 4;

    QString Text(int index) const;
    void SetText(int index, const QString &text);

    QString txtProfile_0() const { return Text(0); }
    QString txtProfile_1() const { return Text(1); }
    QString txtProfile_2() const { return Text(2); }
    QString txtProfile_3() const { return Text(3); }

  signals:
    void textChanged(int index, const QString &text);
    void changed();

  private:
    std::array<QString, Count> texts_;
};

} // namespace zestrel
