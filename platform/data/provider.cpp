#include "provider.hpp"

DataPacket TDataSetProvider::GetData() const {
    if (!DataSet) throw EDatabaseError(Name + ": provedor sem conjunto de dados");
    return DataSet->ProviderPacket();
}
