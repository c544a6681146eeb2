// Copyright the kvstore authors.
//
// KV_Iterator: a depth-first walk over one sub-tree of a KV_Object that hands
// out node names and properties with their values rendered as text. Get one
// from KV_Object::newIterator and delete it when done. The tree must not
// change while an iterator walks it.
#ifndef KVSTORE_KV_ITERATOR_H_
#define KVSTORE_KV_ITERATOR_H_

#include <cstddef>

#include "kvstore/export.h"
#include "kvstore/kv_mem_obj.h"
#include "kvstore/kv_object.h"

class KV_Node;
class KV_Property;

class KV_EXPORT KV_Iterator : public KV_Mem_Obj {
 public:
  KV_Iterator(const KV_Iterator&) = delete;
  KV_Iterator& operator=(const KV_Iterator&) = delete;
  // Releases no buffer: the last rendering that nextProp handed out belongs
  // to the caller unless it was passed back to nextProp.
  ~KV_Iterator() override;

  // Moves to the next node of the walk and returns its name (owned by the
  // tree), or null at the end. type tells the move: NODE_CHILD down to a
  // first child, NODE_NEXT to a sibling, NODE_UP back to a parent whose
  // children are all visited. The start node is not returned first (read its
  // properties before the first call); the walk climbs back to it and
  // returns its name with NODE_UP before it ends. For a start S with children
  // A (children A1, A2) and B the calls give A, A1, A2, A (up), B, S (up),
  // then null. The depth limit given to newIterator applies: 0 walks the
  // whole sub-tree, d > 0 enters nodes down to d levels below the start, a
  // negative depth never descends.
  const char16_t* nextNode(KV_Object::NodeType& type);

  // Moves to the next property of the current node and returns its name, or
  // null when there is none (type PROP_NONE also ends the listing). The
  // value is rendered into a new buffer in data, its byte size in size:
  //   PROP_STRING  size = stored size + 1; the stored bytes (wide or narrow
  //                text with its terminator) followed by one zero byte
  //   PROP_INT     size 12; narrow decimal text in a 13-byte buffer
  //   PROP_DOUBLE  size 128; the exact wide text of the double
  //   PROP_BOOL    size 8; narrow "TRUE" or "FALSE"
  //   PROP_VOID    size 2 * stored size + 1; narrow upper-case hexadecimal
  // Pass back exactly the data and size of the previous call: the iterator
  // releases that buffer first. A property without value throws KV_Warning
  // 59; an empty raw value throws KV_Error 53.
  const char16_t* nextProp(char*& data, std::size_t& size, PropType& type);

  // The node the walk stands on (null when the walk is over or the start
  // node does not exist) and the property last handed out (null before the
  // first).
  const KV_Node* currentNode() const;
  const KV_Property* currentProp() const;
  // The current node's name, or null.
  const char16_t* getCurrentNodeName() const;

 private:
  friend class KV_Object;
  // Throws KV_Severe 50 when the object has no root and KV_Warning 51 when
  // path (other than "\", the root) has no known components.
  KV_Iterator(const KV_Object* object, const char16_t* path, int depth);

  KV_Node* m_current;
  KV_Node* m_start;
  KV_Property* m_currentProp;
  int m_lastMove;
  int m_maxDepth;
  int m_depth;
};

#endif  // KVSTORE_KV_ITERATOR_H_
