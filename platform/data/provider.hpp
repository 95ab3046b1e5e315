// TDataSetProvider turns an open source (a query) into a data packet; TDataSource names the data set
// a dialog shows. Neither owns what it points to.
#pragma once

#include "client_data_set.hpp"

class IPacketSource {
public:
    virtual ~IPacketSource() = default;
    // Every row of the open source with its field metadata; raises when the source is not open.
    virtual DataPacket ProviderPacket() const = 0;
};

class TDataSetProvider : public TComponent {
public:
    using TComponent::TComponent;
    IPacketSource* DataSet = nullptr;  // not owned
    DataPacket GetData() const;
};

class TDataSource : public TComponent {
public:
    using TComponent::TComponent;
    TClientDataSet* DataSet = nullptr;  // not owned
};
