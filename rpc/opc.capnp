# The wire form of the COM objects a server host lends to its clients. Each capability is one
# COM object; its methods are the methods of the object's interfaces, with every HRESULT in the
# results and every [out] array as a list. Strings are UTF-8 text.
@0x8d68e1862bb285de;

using Cxx = import "/capnp/c++.capnp";
$Cxx.namespace("rpcwire");

struct FileTime { low @0 :UInt32; high @1 :UInt32; }

struct Variant {
  vt @0 :UInt16;
  union {
    empty @1 :Void;
    bits @2 :UInt64;        # a plain value, its bytes little-endian in the low end
    text @3 :Text;          # VT_BSTR
    array @4 :SafeArray;    # VT_ARRAY | element type
  }
}

struct SafeArray {
  bounds @0 :List(Bound);   # per dimension, first dimension first
  union {
    plain @1 :Data;         # elements of a plain type, packed
    texts @2 :List(Text);   # VT_BSTR elements
    variants @3 :List(Variant);
  }
  struct Bound { lower @0 :Int32; count @1 :UInt32; }
}

struct ItemDef {
  accessPath @0 :Text;
  itemId @1 :Text;
  active @2 :Bool;
  clientHandle @3 :UInt32;
  blob @4 :Data;
  requestedType @5 :UInt16;
}

struct ItemResult {
  serverHandle @0 :UInt32;
  canonicalType @1 :UInt16;
  accessRights @2 :UInt32;
  blob @3 :Data;
}

struct ItemState {
  clientHandle @0 :UInt32;
  timeStamp @1 :FileTime;
  quality @2 :UInt16;
  value @3 :Variant;
}

struct ItemAttributes {
  accessPath @0 :Text;
  itemId @1 :Text;
  active @2 :Bool;
  clientHandle @3 :UInt32;
  serverHandle @4 :UInt32;
  accessRights @5 :UInt32;
  blob @6 :Data;
  requestedType @7 :UInt16;
  canonicalType @8 :UInt16;
  euType @9 :UInt32;
  euInfo @10 :Variant;
}

struct ServerStatus {
  startTime @0 :FileTime;
  currentTime @1 :FileTime;
  lastUpdateTime @2 :FileTime;
  serverState @3 :UInt32;
  groupCount @4 :UInt32;
  bandWidth @5 :UInt32;
  majorVersion @6 :UInt16;
  minorVersion @7 :UInt16;
  buildNumber @8 :UInt16;
  vendorInfo @9 :Text;
}

struct GroupState {
  updateRate @0 :UInt32;
  active @1 :Bool;
  name @2 :Text;
  timeBias @3 :Int32;
  percentDeadband @4 :Float32;
  localeId @5 :UInt32;
  clientGroup @6 :UInt32;
  serverGroup @7 :UInt32;
}

# A changed or read value, for the data callbacks. An empty or plain value travels inline, in
# `vt` and `bits`, so a callback of such values is one flat list; any other value (text, arrays)
# travels in `value`, and `vt` and `bits` are then unused.
struct ItemValue {
  clientHandle @0 :UInt32;
  quality @1 :UInt16;
  vt @2 :UInt16;
  error @3 :Int32;
  timeStamp @4 :UInt64;    # FILETIME: the high part in the upper 32 bits
  bits @5 :UInt64;         # as in Variant
  value @6 :Variant;
}

struct HandleError { clientHandle @0 :UInt32; error @1 :Int32; }

# Which of its interfaces an object answers, and the object.
struct Lent {
  interfaces @0 :List(Data);   # 16-byte IIDs
  object @1 :Object;
}

# The host: the first capability of every connection.
interface Host {
  createInstance @0 (clsid :Data) -> (hr :Int32, server :Lent);
  ping @1 () -> ();
}

# The client's side of the connection points and advise sinks the host calls back. The data
# calls are streamed: the host keeps only a bounded window of them in flight.
interface Sink {
  shutdownRequest @0 (reason :Text) -> ();
  onDataChange @1 (transactionId :UInt32, group :UInt32, masterQuality :Int32, masterError :Int32,
                   values :List(ItemValue)) -> stream;
  onReadComplete @2 (transactionId :UInt32, group :UInt32, masterQuality :Int32, masterError :Int32,
                     values :List(ItemValue)) -> stream;
  onWriteComplete @3 (transactionId :UInt32, group :UInt32, masterError :Int32,
                      errors :List(HandleError)) -> stream;
  onCancelComplete @4 (transactionId :UInt32, group :UInt32) -> stream;
  # IAdviseSink::OnDataChange: the clipboard format travels by name, the medium's bytes whole.
  onAdviseData @5 (format :Text, tymed :UInt32, data :Data) -> stream;
}

# Every lent COM object: a server, a group or an enumerator. A method of an interface the
# object does not answer gives E_NOINTERFACE.
interface Object {
  # IOPCServer
  addGroup @0 (name :Text, active :Bool, requestedUpdateRate :UInt32, clientGroup :UInt32,
               timeBias :Int32, hasTimeBias :Bool, percentDeadband :Float32, hasDeadband :Bool,
               localeId :UInt32, iid :Data)
      -> (hr :Int32, serverGroup :UInt32, revisedUpdateRate :UInt32, group :Lent);
  getErrorString @1 (error :Int32, localeId :UInt32) -> (hr :Int32, text :Text);
  getGroupByName @2 (name :Text, iid :Data) -> (hr :Int32, group :Lent);
  getStatus @3 () -> (hr :Int32, status :ServerStatus);
  removeGroup @4 (serverGroup :UInt32, force :Bool) -> (hr :Int32);
  createGroupEnumerator @5 (scope :UInt32, iid :Data) -> (hr :Int32, enumerator :Lent);

  # IOPCCommon
  setLocaleId @6 (localeId :UInt32) -> (hr :Int32);
  getLocaleId @7 () -> (hr :Int32, localeId :UInt32);
  queryAvailableLocaleIds @8 () -> (hr :Int32, localeIds :List(UInt32));
  getErrorStringCommon @9 (error :Int32) -> (hr :Int32, text :Text);
  setClientName @10 (name :Text) -> (hr :Int32);

  # IOPCBrowseServerAddressSpace
  queryOrganization @11 () -> (hr :Int32, organization :UInt32);
  changeBrowsePosition @12 (direction :UInt32, name :Text) -> (hr :Int32);
  browseItemIds @13 (filterType :UInt32, criteria :Text, typeFilter :UInt16, accessFilter :UInt32)
      -> (hr :Int32, enumerator :Lent);
  getItemId @14 (dataId :Text) -> (hr :Int32, itemId :Text);
  browseAccessPaths @15 (itemId :Text) -> (hr :Int32, enumerator :Lent);

  # IOPCItemProperties
  queryAvailableProperties @16 (itemId :Text)
      -> (hr :Int32, ids :List(UInt32), descriptions :List(Text), types :List(UInt16));
  getItemProperties @17 (itemId :Text, ids :List(UInt32))
      -> (hr :Int32, values :List(Variant), errors :List(Int32));
  lookupItemIds @18 (itemId :Text, ids :List(UInt32))
      -> (hr :Int32, itemIds :List(Text), errors :List(Int32));

  # IPersistFile
  isDirty @19 () -> (hr :Int32);
  load @20 (fileName :Text, mode :UInt32) -> (hr :Int32);
  save @21 (fileName :Text, hasName :Bool, remember :Bool) -> (hr :Int32);
  getCurFile @22 () -> (hr :Int32, fileName :Text);
  getClassId @61 () -> (hr :Int32, clsid :Data);

  # IConnectionPointContainer / IConnectionPoint
  advise @23 (iid :Data, sink :Sink) -> (hr :Int32, cookie :UInt32);
  unadvise @24 (iid :Data, cookie :UInt32) -> (hr :Int32);

  # IOPCGroupStateMgt
  getState @25 () -> (hr :Int32, state :GroupState);
  setState @26 (requestedUpdateRate :UInt32, hasUpdateRate :Bool, active :Bool, hasActive :Bool,
                timeBias :Int32, hasTimeBias :Bool, percentDeadband :Float32, hasDeadband :Bool,
                localeId :UInt32, hasLocaleId :Bool, clientGroup :UInt32, hasClientGroup :Bool)
      -> (hr :Int32, revisedUpdateRate :UInt32);
  setName @27 (name :Text) -> (hr :Int32);
  cloneGroup @28 (name :Text, iid :Data) -> (hr :Int32, group :Lent);

  # IOPCItemMgt
  addItems @29 (items :List(ItemDef)) -> (hr :Int32, results :List(ItemResult), errors :List(Int32));
  validateItems @30 (items :List(ItemDef), blobUpdate :Bool)
      -> (hr :Int32, results :List(ItemResult), errors :List(Int32));
  removeItems @31 (serverHandles :List(UInt32)) -> (hr :Int32, errors :List(Int32));
  setActiveState @32 (serverHandles :List(UInt32), active :Bool) -> (hr :Int32, errors :List(Int32));
  setClientHandles @33 (serverHandles :List(UInt32), clientHandles :List(UInt32))
      -> (hr :Int32, errors :List(Int32));
  setDatatypes @34 (serverHandles :List(UInt32), types :List(UInt16)) -> (hr :Int32, errors :List(Int32));
  createItemEnumerator @35 (iid :Data) -> (hr :Int32, enumerator :Lent);

  # IOPCSyncIO
  read @36 (source :UInt32, serverHandles :List(UInt32))
      -> (hr :Int32, states :List(ItemState), errors :List(Int32));
  write @37 (serverHandles :List(UInt32), values :List(Variant)) -> (hr :Int32, errors :List(Int32));

  # IOPCAsyncIO (DA 1.0)
  asyncRead @38 (connection :UInt32, source :UInt32, serverHandles :List(UInt32))
      -> (hr :Int32, transactionId :UInt32, errors :List(Int32));
  asyncWrite @39 (connection :UInt32, serverHandles :List(UInt32), values :List(Variant))
      -> (hr :Int32, transactionId :UInt32, errors :List(Int32));
  refresh @40 (connection :UInt32, source :UInt32) -> (hr :Int32, transactionId :UInt32);
  cancel @41 (transactionId :UInt32) -> (hr :Int32);

  # IOPCAsyncIO2
  read2 @42 (serverHandles :List(UInt32), transactionId :UInt32)
      -> (hr :Int32, cancelId :UInt32, errors :List(Int32));
  write2 @43 (serverHandles :List(UInt32), values :List(Variant), transactionId :UInt32)
      -> (hr :Int32, cancelId :UInt32, errors :List(Int32));
  refresh2 @44 (source :UInt32, transactionId :UInt32) -> (hr :Int32, cancelId :UInt32);
  cancel2 @45 (cancelId :UInt32) -> (hr :Int32);
  setEnable @46 (enable :Bool) -> (hr :Int32);
  getEnable @47 () -> (hr :Int32, enable :Bool);

  # IDataObject
  dataAdvise @48 (format :Text, tymed :UInt32, flags :UInt32, sink :Sink) -> (hr :Int32, connection :UInt32);
  dataUnadvise @49 (connection :UInt32) -> (hr :Int32);
  queryGetData @50 (format :Text, tymed :UInt32) -> (hr :Int32);

  # IEnumString, IEnumUnknown, IEnumOPCItemAttributes
  nextStrings @51 (count :UInt32) -> (hr :Int32, strings :List(Text));
  nextObjects @52 (count :UInt32) -> (hr :Int32, objects :List(Lent));
  nextAttributes @53 (count :UInt32) -> (hr :Int32, attributes :List(ItemAttributes));
  skip @54 (count :UInt32) -> (hr :Int32);
  reset @55 () -> (hr :Int32);
  cloneEnumerator @56 () -> (hr :Int32, enumerator :Lent);

  # IOPCPublicGroupStateMgt, IOPCServerPublicGroups
  getPublicState @57 () -> (hr :Int32, isPublic :Bool);
  moveToPublic @58 () -> (hr :Int32);
  getPublicGroupByName @59 (name :Text, iid :Data) -> (hr :Int32, group :Lent);
  removePublicGroup @60 (serverGroup :UInt32, force :Bool) -> (hr :Int32);
}
